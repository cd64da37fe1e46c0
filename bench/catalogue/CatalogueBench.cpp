// SPDX-License-Identifier: MIT
// Loading a 10,000-record index file and a 112-position settings file, from disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/Paths.h"
#include "catalogue/FontCatalogue.h"
#include "catalogue/SettingsFile.h"

namespace {

using namespace corvelle;

constexpr int kRecords = 10000;

// A program folder with FontExt/Index1252.shi and a full selection file, removed at exit.
class Fixture {
 public:
  Fixture() {
    char pattern[] = "/tmp/corvelle-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    m_folder = pattern;
    MakeFolders(FontExtFolder(m_folder));
    std::string index;
    for (int i = 0; i < kRecords; ++i) {
      std::string record(kIndexRecordSize, '\0');
      const std::string base = "font" + std::to_string(i);
      const std::string name = "Benchmark font " + std::to_string(i);
      record.replace(0, base.size(), base);
      record.replace(32, 5, "Arial");
      record.replace(64, name.size(), name);
      record[97] = static_cast<char>(8 + i % 40);
      record[99] = static_cast<char>(i % 2);
      index += record;
    }
    Write(FontExtFolder(m_folder) + "Index1252.shi", index);

    FontSelection selection;
    for (size_t p = 0; p < selection.size(); ++p) {
      std::string name = "Benchmark font " + std::to_string(p);
      name.resize(32, ' ');
      selection[p] = {name, "C:\\Old\\FontExt\\font" + std::to_string(p) + ".she"};
    }
    m_kvf = JoinPath(m_folder, "selection.kvf");
    Write(m_kvf, SerializeSettings(selection));
  }
  ~Fixture() {
    std::remove((FontExtFolder(m_folder) + "Index1252.shi").c_str());
    std::remove(m_kvf.c_str());
    ::rmdir(FontExtFolder(m_folder).c_str());
    ::rmdir(m_folder.c_str());
  }

  const std::string& Folder() const { return m_folder; }
  const std::string& Kvf() const { return m_kvf; }

 private:
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string m_folder;
  std::string m_kvf;
};

Fixture& Files() {
  static Fixture fixture;
  return fixture;
}

void BM_LoadCatalogue10000(benchmark::State& state) {
  const std::string folder = Files().Folder();
  for (auto _ : state) {
    FontCatalogue catalogue = LoadCatalogue(folder, 2);
    if (catalogue.size() != kRecords) state.SkipWithError("wrong entry count");
    benchmark::DoNotOptimize(catalogue);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * kRecords * static_cast<int64_t>(kIndexRecordSize));
}
BENCHMARK(BM_LoadCatalogue10000)->Unit(benchmark::kMillisecond);

void BM_LoadSettingsFile112(benchmark::State& state) {
  const std::string folder = Files().Folder();
  const std::string kvf = Files().Kvf();
  for (auto _ : state) {
    FontSelection selection;
    if (!LoadSettingsFile(kvf, folder, selection)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(selection);
  }
  state.SetItemsProcessed(state.iterations() * kSelectionPositions);
}
BENCHMARK(BM_LoadSettingsFile112)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
