// SPDX-License-Identifier: MIT
// Generates the sample FontExt folder: the six index files and the fragment files of every font
// they list. The contents are synthetic but deterministic, sized like real printer fonts, so that
// the catalogue, the image builders and the downloads can be tried end to end.
//
// Usage: corvelle_make_sample_data FOLDER
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Family {
  const char* face;     // Windows face name (one of the seven installed TrueType families)
  const char* display;  // shown in the font lists
  const char* code;     // three letters of the file base names
  bool singlePart;      // these fonts never have a part 1
};

// The monospaced console family fits its glyphs in one part even at large heights.
const Family kFamilies[] = {
    {"VNS ABA", "Block", "BLK", false},    {"VNS FRK", "Gothic", "GOT", false},
    {"VNS SwIns", "Swiss", "SWI", false},  {"VNS IMP", "Poster", "PST", false},
    {"VNS TAH", "Humanist", "HUM", false}, {"VNS UC", "Condensed", "CND", false},
    {"VNS CONS", "Console", "CON", true},
};

struct Style {
  const char* name;
  char letter;
  bool bold;
  bool italic;
};

const Style kStyles[] = {{"", 'R', false, false}, {"Bold", 'B', true, false}, {"Italic", 'I', false, true}};

const int kHeights[] = {8, 10, 12, 14, 18, 24, 36};

struct CodePage {
  const char* indexFile;
  const char* suffix;  // of base names
  const char* label;   // of display names
  int fonts;
};

// 112 fonts in all, so that "All codepages" fills every printer position exactly.
const CodePage kCodePages[] = {
    {"Index1250.shi", "CE", "CE", 30},
    {"Index1251.shi", "CY", "Cyr", 26},
    {"Index1252.shi", "WE", "WE", 34},
    {"Index1253.shi", "GR", "Greek", 22},
};

struct Font {
  std::string base;
  std::string face;
  std::string display;
  int number = 0;
  int height = 0;
  bool bold = false;
  bool italic = false;
  bool twoParts = false;
  bool partOneData = true;  // false: part 1 has its header fragment only
};

// xorshift64*: fixed sequence for a seed, the same on every machine.
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  std::uint64_t Next() {
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * 0x2545F4914F6CDD1Dull;
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t m_state;
};

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001B3ull;
  return hash;
}

// Every family x style x height combination once, in a shuffled order fixed per code page;
// the first `count` become the page's fonts.
std::vector<Font> PlanCodePage(const CodePage& page, int firstNumber) {
  struct Combo {
    int family, style, height;
  };
  std::vector<Combo> combos;
  for (int f = 0; f < 7; ++f)
    for (int s = 0; s < 3; ++s)
      for (int h = 0; h < 7; ++h) combos.push_back({f, s, h});
  Random random(Fnv1a(page.indexFile));
  for (size_t i = combos.size() - 1; i > 0; --i) std::swap(combos[i], combos[random.Below(i + 1)]);

  std::vector<Font> fonts;
  bool headerOnlyGiven = false;
  for (int i = 0; i < page.fonts; ++i) {
    const Family& family = kFamilies[combos[static_cast<size_t>(i)].family];
    const Style& style = kStyles[combos[static_cast<size_t>(i)].style];
    const int height = kHeights[combos[static_cast<size_t>(i)].height];
    Font font;
    font.base = std::string(family.code) + style.letter + std::to_string(height) + page.suffix;
    font.face = family.face;
    font.display = std::string(family.display) + (*style.name ? " " : "") + style.name + " " +
                   std::to_string(height) + " " + page.label;
    font.number = firstNumber + i;
    font.height = height;
    font.bold = style.bold;
    font.italic = style.italic;
    font.twoParts = height >= 18 && !family.singlePart;
    // One font per code page carries a part-1 header without its data fragment.
    if (font.twoParts && !headerOnlyGiven) {
      font.partOneData = false;
      headerOnlyGiven = true;
    }
    fonts.push_back(font);
  }
  return fonts;
}

void PutText(std::string& record, const std::string& text) {
  std::string field(32, '\0');
  field.replace(0, std::min<size_t>(text.size(), 32), text.substr(0, 32));
  record += field;
}

std::string IndexRecord(const Font& font) {
  std::string record;
  PutText(record, font.base);
  PutText(record, font.face);
  PutText(record, font.display);
  record += static_cast<char>(font.number);
  record += static_cast<char>(font.height * 4 / 3);  // preview pixels for the point size
  record += static_cast<char>(font.twoParts ? 1 : 0);
  record += static_cast<char>(font.bold ? 1 : 0);
  record += static_cast<char>(font.italic ? 1 : 0);
  record += static_cast<char>(0);
  return record;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::cerr << "cannot write " << path << '\n';
  return static_cast<bool>(out);
}

// Opaque fragment contents: a short readable tag, then bytes fixed by the file's name.
std::string FragmentBytes(const std::string& fileName, size_t size) {
  std::string bytes = "KERV sample fragment " + fileName + '\n';
  bytes.resize(std::min(bytes.size(), size));
  Random random(Fnv1a(fileName));
  while (bytes.size() < size) bytes += static_cast<char>(random.Next() >> 56);
  return bytes;
}

// Sizes grow with the square of the height, like glyph bitmaps: from a few KB at 8 points to
// about 150 KB at 36 points bold.
bool WriteFragments(const fs::path& folder, const Font& font) {
  Random random(Fnv1a(font.base));
  const size_t area = static_cast<size_t>(font.height * font.height);
  const size_t weight = font.bold ? 11 : 10;
  const size_t header0 = 256 + static_cast<size_t>(font.height) * 16 + random.Below(64);
  const size_t data0 = area * 10 * weight + random.Below(4096);
  bool ok = WriteFile(folder / (font.base + "0.hea"), FragmentBytes(font.base + "0.hea", header0)) &&
            WriteFile(folder / (font.base + "0.sh"), FragmentBytes(font.base + "0.sh", data0));
  if (font.twoParts) {
    const size_t header1 = 128 + random.Below(128);
    const size_t data1 = area * 4 * weight + random.Below(2048);
    ok = ok && WriteFile(folder / (font.base + "1.hea"), FragmentBytes(font.base + "1.hea", header1));
    if (font.partOneData) ok = ok && WriteFile(folder / (font.base + "1.sh"), FragmentBytes(font.base + "1.sh", data1));
  }
  return ok;
}

// Files from an earlier generation that this one would not write again must not linger.
void RemoveOldFiles(const fs::path& folder) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".shi" || ext == ".hea" || ext == ".sh") fs::remove(entry.path(), ec);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: corvelle_make_sample_data FOLDER\n";
    return 2;
  }
  const fs::path folder = argv[1];
  std::error_code ec;
  fs::create_directories(folder, ec);
  RemoveOldFiles(folder);

  std::string all;
  std::vector<Font> westernEurope;
  std::set<std::string> bases;
  int number = 1;
  bool ok = true;
  for (const CodePage& page : kCodePages) {
    const std::vector<Font> fonts = PlanCodePage(page, number);
    number += page.fonts;
    std::string index;
    for (const Font& font : fonts) {
      if (!bases.insert(font.base).second) {
        std::cerr << "duplicate base name " << font.base << '\n';
        return 1;
      }
      index += IndexRecord(font);
      ok = ok && WriteFragments(folder, font);
    }
    ok = ok && WriteFile(folder / page.indexFile, index);
    all += index;
    if (std::string(page.suffix) == "WE") westernEurope = fonts;
  }
  ok = ok && WriteFile(folder / "Index.shi", all);

  // The factory set: the Western Europe fonts of 12 points and less, at most eight.
  std::string standard;
  int taken = 0;
  for (const Font& font : westernEurope) {
    if (font.height <= 12 && taken < 8) {
      standard += IndexRecord(font);
      ++taken;
    }
  }
  ok = ok && WriteFile(folder / "IndexStandardSet.shi", standard);
  return ok ? 0 : 1;
}
