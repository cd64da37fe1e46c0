// SPDX-License-Identifier: MIT
// corvelle-cli inspect: shows the header and sections of a font set image and checks that the
// header describes the contents.
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

#include "base/Json.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "fontset/ImageReader.h"

namespace corvelle::cli {
namespace {

// Letters and digits as they are, other bytes in hexadecimal: "KRV1D3 22 11".
std::string ShowBytes(const std::string& bytes) {
  std::string text;
  bool lastWasHex = false;
  for (unsigned char c : bytes) {
    if (std::isalnum(c)) {
      if (lastWasHex) text += ' ';
      text += static_cast<char>(c);
      lastWasHex = false;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X", c);
      if (!text.empty()) text += ' ';
      text += hex;
      lastWasHex = true;
    }
  }
  return text;
}

void PrintReport(const ImageReport& report) {
  std::cout << "format: " << ImageKindName(report.kind) << '\n'
            << "file size: " << report.fileSize << " (" << HexNumber(report.fileSize, 1) << ")\n";
  if (report.kind == ImageKind::Unknown) return;
  std::cout << "header size: " << report.headerSize << " (" << HexNumber(report.headerSize, 1) << ")\n";
  if (report.kind == ImageKind::FontSet) std::cout << "word at 0x800: " << HexNumber(report.zeroWord, 8) << '\n';
  std::cout << "table count: " << report.tableCount << '\n'
            << "tag: " << ShowBytes(report.tag) << '\n'
            << "position  part  offset      size\n";
  for (const ImageEntry& entry : report.entries) {
    char line[80];
    std::snprintf(line, sizeof line, "%8d  %4d  %s  %llu", entry.position, entry.part,
                  HexNumber(entry.offset, 8).c_str(), static_cast<unsigned long long>(entry.size));
    std::cout << line;
    if (entry.includesBoundaryFill) std::cout << "  (up to the area boundary, 0xFF fill included)";
    std::cout << '\n';
  }
  std::cout << "total: " << report.entries.size() << " sections, " << report.SectionBytes() << " bytes\n";
}

// The report as one JSON document with the fields of the text, numbers in decimal.
void PrintJson(const ImageReport& report) {
  std::cout << "{\"format\": " << JsonString(ImageKindName(report.kind)) << ", \"fileSize\": " << report.fileSize;
  if (report.kind != ImageKind::Unknown) {
    std::cout << ", \"headerSize\": " << report.headerSize;
    if (report.kind == ImageKind::FontSet) std::cout << ", \"zeroWord\": " << report.zeroWord;
    std::cout << ", \"tableCount\": " << report.tableCount << ", \"tag\": " << JsonString(ShowBytes(report.tag))
              << ", \"sections\": [";
    for (size_t i = 0; i < report.entries.size(); ++i) {
      const ImageEntry& entry = report.entries[i];
      std::cout << (i == 0 ? "\n" : ",\n") << "  {\"position\": " << entry.position << ", \"part\": " << entry.part
                << ", \"offset\": " << entry.offset << ", \"size\": " << entry.size
                << ", \"includesBoundaryFill\": " << (entry.includesBoundaryFill ? "true" : "false") << "}";
    }
    std::cout << (report.entries.empty() ? "" : "\n") << "], \"totalSections\": " << report.entries.size()
              << ", \"totalBytes\": " << report.SectionBytes();
  }
  const bool consistent = report.verdict.Ok();
  std::cout << ", \"consistent\": " << (consistent ? "true" : "false")
            << ", \"problem\": " << (consistent ? "null" : JsonString(report.verdict.message)) << "}\n";
}

int RunInspect(CliContext&, ArgReader& args) {
  const bool json = args.Flag("json");
  const auto words = args.Positionals();
  if (words.size() != 1) args.Fail("inspect takes one image path");
  if (args.Failed()) return kExitUsage;

  const ImageReport report = InspectImageFile(words[0]);
  if (json) {
    PrintJson(report);
  } else {
    PrintReport(report);
  }
  if (FinishOutput("report") != kExitOk) return kExitFailed;
  if (report.verdict) return kExitOk;
  std::cerr << report.verdict.message << '\n';
  return kExitFailed;
}

}  // namespace

Command InspectCommand() {
  return {
      "inspect",
      "show and check the header and sections of a font set image",
      "Usage: corvelle-cli inspect [--json] PATH\n"
      "\n"
      "Reads a FontSet.SHC or FontSet.SHF image and prints its format, header fields, the\n"
      "table entries that place a section (position, part, offset, section size) and the\n"
      "total. A section runs to the next section's offset; the one before a section moved to\n"
      "the area boundary 0x150000 includes the 0xFF fill before it.\n"
      "\n"
      "With --json, one JSON document with the same fields (numbers in decimal), a list of\n"
      "sections, whether the image is consistent and the problem found (null when none).\n"
      "\n"
      "Exits 0 when the header describes the contents, else prints the first inconsistency\n"
      "on stderr and exits 1.\n"
      "\n"
      "Example: corvelle-cli inspect --json FontSet.SHC\n",
      RunInspect,
  };
}

}  // namespace corvelle::cli
