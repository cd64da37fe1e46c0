// SPDX-License-Identifier: MIT
// The FILE kind on Windows: the file the user picks is opened with CreateFileW, shared for reading
// only (so no other program writes it meanwhile), truncated once it is held, and written through a
// binary C runtime descriptor like the other descriptor kinds.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "base/Host.h"
#include "base/win/WinText.h"
#include "ports/FdBackend.h"
#include "ports/FileBackend.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

class FileBackend : public FdBackend {
 public:
  explicit FileBackend(PortContext& context) : FdBackend(context, "Error writing output file ", MessageStyle::Plain) {}

  bool Open(const PortOpenArgs& args) override {
    const auto path = AskOutputPath(m_context.host, args);
    if (!path) return false;
    m_path = *path;
    if (const int error = OpenExclusive(); error != 0) {
      m_context.host.ShowMessage(std::string(LoadStr(IDS_OUTPUT_FILE_ERROR)) + "(Q)", MessageStyle::Plain);
      m_context.host.ShowDetail(m_path + ": " + std::strerror(error));
      return false;
    }
    return true;
  }

 private:
  // 0, or the errno value of the failure. A file another program holds open for writing is a
  // sharing violation (EBUSY) and is left alone.
  int OpenExclusive() {
    const HANDLE handle = ::CreateFileW(win::Widen(m_path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return win::SetErrnoFromLastError();
    if (::GetFileType(handle) == FILE_TYPE_DISK && !::SetEndOfFile(handle)) {
      const int error = win::SetErrnoFromLastError();
      ::CloseHandle(handle);
      return error;
    }
    m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (m_fd < 0) {
      ::CloseHandle(handle);
      return EMFILE;
    }
    return 0;
  }
};

}  // namespace

std::unique_ptr<PortBackend> MakeFileBackend(PortContext& context) { return std::make_unique<FileBackend>(context); }

}  // namespace corvelle
