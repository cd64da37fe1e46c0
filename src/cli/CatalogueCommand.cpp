// SPDX-License-Identifier: MIT
// corvelle-cli catalogue: the "Available fonts:" list of a code page, with what each entry names.
#include <iostream>

#include "base/CodePage.h"
#include "base/Json.h"
#include "base/Profile.h"
#include "base/Text.h"
#include "catalogue/FontCatalogue.h"
#include "cli/Commands.h"

namespace corvelle::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: corvelle-cli catalogue [--codepage N] [-n] [--json]\n"
    "\n"
    "Prints the fonts of one code page's index file in FontExt/, in file order, one line each:\n"
    "the list text, a TAB, the detail text, a TAB, and the font's .she path.\n"
    "\n"
    "Options:\n"
    "  --codepage N  0 Win1250, 1 Win1251, 2 Win1252, 3 Win1253, 4 all code pages,\n"
    "                5 factory set (default: the profile's Codepage, else 2).\n"
    "                Any other number is a usage error (exit 2); a missing index file\n"
    "                lists nothing. A program folder without FontExt/ is an error (exit 1).\n"
    "  -n, --numbered  each line starts with the font's index and a TAB: the number\n"
    "                'selection add' takes (0 for the first font)\n"
    "  --json        one JSON document instead: {\"codepage\": N, \"fonts\": [...]}, each font\n"
    "                with its index, name, file, face, detail (the detail text) and path,\n"
    "                the texts without their padding\n"
    "\n"
    "Example: corvelle-cli catalogue --codepage 2 -n\n";

// The listing as one JSON document, one font a line. The names are the index file's bytes in its
// code page; the file and path are file names, as the program uses them.
void PrintJson(const CliContext& context, int choice, const FontCatalogue& catalogue) {
  const CodePage codePage = CodePageOfChoice(choice);
  const auto text = [codePage](std::string_view bytes) { return JsonString(Utf8FromCodePage(TrimPadding(bytes), codePage)); };
  std::cout << "{\"codepage\": " << choice << ", \"fonts\": [";
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const CatalogueEntry& entry = catalogue[i];
    const std::string_view detail = entry.detailText;
    std::cout << (i == 0 ? "\n" : ",\n") << "  {\"index\": " << i << ", \"name\": " << text(entry.listText)
              << ", \"file\": " << JsonString(FileBaseName(entry))
              << ", \"face\": " << text(detail.substr(std::min(detail.size(), kIndexTextSize), kIndexTextSize))
              << ", \"detail\": " << text(detail)
              << ", \"path\": " << JsonString(FontPathOf(context.programFolder, entry)) << "}";
  }
  std::cout << (catalogue.empty() ? "" : "\n") << "]}\n";
}

int RunCatalogue(CliContext& context, ArgReader& args) {
  const auto codePage = args.IntOption("codepage");
  const bool json = args.Flag("json");
  const bool numbered = args.Flag("numbered", 'n');
  if (!args.Positionals().empty()) args.Fail("catalogue takes no arguments");
  if (codePage && (*codePage < 0 || *codePage >= kCodePageChoices)) {
    args.Fail("--codepage must be a number from 0 to " + std::to_string(kCodePageChoices - 1));
  }
  if (args.Failed()) return kExitUsage;

  int choice = -1;
  if (codePage) {
    choice = static_cast<int>(*codePage);
  } else {
    const std::optional<Profile> profile = ReadProfile(context);
    if (!profile) return kExitFailed;
    choice = StoredCodePageChoice(*profile);
  }
  if (!HasFontExt(context)) return kExitFailed;
  const FontCatalogue catalogue = LoadCatalogue(context.programFolder, choice);
  if (json) {
    PrintJson(context, choice, catalogue);
    return FinishOutput("catalogue");
  }
  for (std::size_t index = 0; index < catalogue.size(); ++index) {
    const CatalogueEntry& entry = catalogue[index];
    if (numbered) std::cout << index << '\t';
    std::cout << entry.listText << '\t' << entry.detailText << '\t' << FontPathOf(context.programFolder, entry)
              << '\n';
  }
  return FinishOutput("catalogue");
}

}  // namespace

Command CatalogueCommand() {
  return {"catalogue", "list the available fonts of a code page", kHelp, RunCatalogue};
}

}  // namespace corvelle::cli
