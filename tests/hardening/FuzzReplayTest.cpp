// Replays every saved fuzzer crash input (fuzz/regressions/<target>/) and every committed seed
// (fuzz/corpus/<target>/) through the fuzz targets' own property checks, so the normal test
// suite, and its sanitizer build, catches a parser fault coming back.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzTargets.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;
  int (*run)(const std::uint8_t* data, std::size_t size);
};

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EverySavedInputKeepsItsProperties) {
  const Target target = GetParam();
  int inputs = 0;
  for (const char* folder : {"regressions", "corpus"}) {
    const fs::path root = fs::path(CORVELLE_SOURCE_DIR) / "fuzz" / folder / target.name;
    if (!fs::is_directory(root)) continue;
    for (const auto& file : fs::directory_iterator(root)) {
      const std::string bytes = test::ReadFile(file.path().string());
      try {
        target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      } catch (const fuzz::PropertyBroken& broken) {
        ADD_FAILURE() << file.path() << ": " << broken.what();
      }
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 0) << "no saved inputs for " << target.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         testing::Values(Target{"index", fuzz::FuzzIndex}, Target{"settings", fuzz::FuzzSettings},
                                         Target{"profile", fuzz::FuzzProfile}, Target{"image", fuzz::FuzzImage},
                                         Target{"echo_reply", fuzz::FuzzEchoReply},
                                         Target{"stream_parser", fuzz::FuzzStreamParser}),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvelle
