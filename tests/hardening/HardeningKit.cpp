// Large files, garbage, peak memory and time limits for the hostile-input tests.
#include "hardening/HardeningKit.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <random>

namespace corvelle::test {
namespace {

// A "VmRSS:" or "VmHWM:" figure of /proc/self/status, in bytes.
std::int64_t StatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(field.size())) * 1024;
  }
  return -1;
}

}  // namespace

bool MakeSparseFile(const std::string& path, std::uint64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  return ::close(fd) == 0 && ok;
}

bool MakePatternFile(const std::string& path, const std::string& pattern, std::uint64_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string block;
  while (block.size() < (1u << 20)) block += pattern;
  for (std::uint64_t written = 0; written < size && out;) {
    const std::uint64_t n = std::min<std::uint64_t>(block.size(), size - written);
    out.write(block.data(), static_cast<std::streamsize>(n));
    written += n;
  }
  out.close();
  return static_cast<bool>(out);
}

std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::int64_t PeakMemoryGrowth(const std::function<void()>& body) {
  // Writing 5 to clear_refs resets the peak mark (VmHWM) to the current resident size.
  std::ofstream("/proc/self/clear_refs") << "5";
  const std::int64_t before = StatusKilobytes("VmRSS:");
  body();
  return StatusKilobytes("VmHWM:") - before;
}

int RunWithin(unsigned seconds, const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::alarm(seconds);
    ::_exit(body());
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace corvelle::test
