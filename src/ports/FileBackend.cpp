// SPDX-License-Identifier: MIT
// The FILE kind on every platform: the save dialog, the platform's exclusive open, and one report
// of a failure; the writes are the descriptor kinds' own.
#include "ports/FileBackend.h"

#include <cerrno>
#include <cstring>

#include "base/Host.h"
#include "ports/FdBackend.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

class FileBackend : public FdBackend {
 public:
  explicit FileBackend(PortContext& context) : FdBackend(context, "Error writing output file ", MessageStyle::Plain) {}

  Outcome Open(const PortOpenArgs& args) override {
    const auto path = AskOutputPath(m_context.host, args);
    if (!path) return Outcome::Quiet();
    if (m_context.outputChosen) {
      if (Outcome chosen = m_context.outputChosen(*path); !chosen) return chosen;
    }
    m_path = *path;
    const Result<int> opened = OpenOutputFile(m_context, m_path);
    if (opened.Failure().Stopped()) return opened.Failure();
    if (!opened) {
      return Outcome::Failure(std::string(LoadStr(IDS_OUTPUT_FILE_ERROR)) + "(Q)", MessageStyle::Plain,
                              m_path + ": " + std::strerror(opened.Failure().system));
    }
    m_fd = *opened;
    return {};
  }
};

}  // namespace

std::unique_ptr<PortBackend> MakeFileBackend(PortContext& context) { return std::make_unique<FileBackend>(context); }

}  // namespace corvelle
