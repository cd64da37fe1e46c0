// SPDX-License-Identifier: MIT
// Building a maximal FontSet.SHC (112 fonts, close to IMAGE_LIMIT) from warm fragment files,
// against its floor measured in the same run (a `cat` of the same files, with and without the
// same flushes and renames), and the peak memory of `corvelle-cli build` for the same selection.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/Profile.h"
#include "fontset/FontSetBuilder.h"
#include "fontset/FontSetFormat.h"

extern char** environ;

namespace {

using namespace corvelle;

// 112 fonts: every part 0 is about 24 KB, every other font has a part 1 of about 18 KB; the
// image comes to about 0x38E000 bytes, across the area boundary.
struct Workload {
  Workload() {
    // $TMPDIR picks the file system measured (for example /dev/shm to leave the disk out).
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvelle-bench-XXXXXX";
    folder = ::mkdtemp(pattern.data());
    profile = Profile(folder + "/corvelle.ini");
    std::string bytes(32 * 1024, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    // The fragments live in the program folder's FontExt, where stored font paths are read.
    const std::string fonts = folder + "/FontExt";
    std::filesystem::create_directory(fonts);
    const auto write = [&](const std::string& name, size_t size) {
      std::ofstream(fonts + "/" + name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
      fragments.push_back(fonts + "/" + name);
    };
    for (int k = 1; k <= 112; ++k) {
      const std::string base = "font" + std::to_string(k);
      write(base + "0.hea", 256);
      write(base + "0.sh", 24000 + static_cast<size_t>(k) * 3);
      char key[16];
      std::snprintf(key, sizeof key, "Font%03i", k);
      profile.WriteString("FontsAggiuntivi", key, fonts + "/" + base + ".she");
    }
    for (int k = 1; k <= 112; k += 2) {
      write("font" + std::to_string(k) + "1.hea", 128);
      write("font" + std::to_string(k) + "1.sh", 18000);
    }
    profile.Save();
  }
  ~Workload() { std::filesystem::remove_all(folder); }

  std::string folder;
  Profile profile;
  std::vector<std::string> fragments;  // in image order
};

Workload& Load() {
  static Workload workload;
  return workload;
}

void BM_BuildFontSet(benchmark::State& state) {
  Workload& work = Load();
  const FontSetBuildContext context{work.profile, work.folder};
  for (auto _ : state) {
    if (const Result<BuiltImage> built = BuildFontSet(context, work.folder + "/FontSet.SHC"); !built) {
      std::fprintf(stderr, "%s\n", built.Failure().message.c_str());
      state.SkipWithError("build failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(work.folder + "/FontSet.SHC")));
}
BENCHMARK(BM_BuildFontSet)->Unit(benchmark::kMillisecond);

// The floor of a build: what `cat` does with the same fragment files (128 KiB reads and writes)
// plus the durability a build gives its two files, the scratch header and the image: each a new
// file flushed, renamed over its target and its folder flushed. `sync` 0 leaves the flushes out.
void BM_CatBaseline(benchmark::State& state) {
  Workload& work = Load();
  const bool sync = state.range(0) != 0;
  std::vector<char> buffer(128 * 1024);
  const int folder = ::open(work.folder.c_str(), O_RDONLY | O_DIRECTORY);
  // A new file beside `target` with `write` run on it, then (with `sync`) flushed and renamed.
  const auto save = [&](const std::string& target, const auto& fill) {
    const std::string temp = target + ".new";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    fill(out);
    if (sync) ::fsync(out);
    ::close(out);
    ::rename(temp.c_str(), target.c_str());
    if (sync) ::fsync(folder);
  };
  int64_t bytes = 0;
  for (auto _ : state) {
    save(work.folder + "/scratch.sh", [&](int out) {
      if (::write(out, buffer.data(), kFontSetFormat.headerSize) < 0) state.SkipWithError("write failed");
    });
    save(work.folder + "/concat.bin", [&](int out) {
      for (const std::string& path : work.fragments) {
        const int in = ::open(path.c_str(), O_RDONLY);
        ssize_t n;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0) {
          if (::write(out, buffer.data(), static_cast<size_t>(n)) != n) state.SkipWithError("write failed");
          bytes += n;
        }
        ::close(in);
      }
    });
  }
  ::close(folder);
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_CatBaseline)->ArgName("fsync")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Peak resident memory of the command-line tool building the same selection, in KiB.
void BM_CliBuildPeakMemory(benchmark::State& state) {
  Workload& work = Load();
  std::string cli = CORVELLE_BIN_DIR "/corvelle-cli", profileArg = "--profile=" + work.profile.Path(),
              folderArg = "--program-folder=" + work.folder, build = "build";
  char* argv[] = {cli.data(), profileArg.data(), folderArg.data(), build.data(), nullptr};
  long peak = 0;
  for (auto _ : state) {
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0 || ::wait4(pid, &status, 0, &usage) != pid ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("corvelle-cli build failed");
    }
    posix_spawn_file_actions_destroy(&actions);
    peak = std::max(peak, usage.ru_maxrss);
  }
  state.counters["max_rss_KiB"] = static_cast<double>(peak);
}
BENCHMARK(BM_CliBuildPeakMemory)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
