// Network namespaces for the probe tests.
#include "setup/NetNamespace.h"

#include <dirent.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle::test {
namespace {

constexpr int kSetupFailed = 77;

bool BringLoopbackUp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  return ok;
}

// Network sysctls belong to the namespace of the process that writes them.
bool SetNetSysctl(const char* name, const char* value) {
  return WriteFile(std::string("/proc/sys/net/ipv4/") + name, value);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

NamespaceStatus RunInNamespaceForBytes(const NamespaceSetup& setup, const std::function<std::string()>& body,
                                       std::string& result, std::string& why) {
  int channel[2];
  if (::pipe(channel) != 0) {
    why = "no pipe";
    return NamespaceStatus::ChildFailed;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(channel[0]);
    if (::unshare(CLONE_NEWNET) != 0 || !BringLoopbackUp() ||
        (setup.ignoreEcho && !SetNetSysctl("icmp_echo_ignore_all", "1")) ||
        (setup.allowPingSockets && !SetNetSysctl("ping_group_range", "0 2147483647"))) {
      ::_exit(kSetupFailed);
    }
    const auto run = [&] { return WriteAll(channel[1], body()) ? 0 : 1; };
    ::_exit(setup.unprivileged ? RunUnprivileged(run) : run());
  }
  ::close(channel[1]);
  result.clear();
  char buffer[256];
  ssize_t got = 0;
  while (pid > 0 && (got = ::read(channel[0], buffer, sizeof buffer)) > 0) result.append(buffer, static_cast<std::size_t>(got));
  ::close(channel[0]);
  int status = 0;
  if (pid > 0) ::waitpid(pid, &status, 0);
  const int code = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == kSetupFailed) {
    why = "cannot make a network namespace with loopback here (needs root / CAP_SYS_ADMIN)";
    return NamespaceStatus::Unavailable;
  }
  if (code != 0) {
    why = "the child in the namespace failed (exit " + std::to_string(code) + ")";
    return NamespaceStatus::ChildFailed;
  }
  return NamespaceStatus::Ran;
}

ProbeOutcome ProbeWith(const std::string& host, std::uint32_t timeoutMs, std::int32_t dataSize,
                       const char* localAddress, unsigned sequence) {
  ProbeOutcome outcome;
  const int descriptors = OpenDescriptorCount();
  outcome.result = CEchoProbe().Probe(host, &outcome.reply, 10, timeoutMs, dataSize, 0, 0, localAddress, sequence);
  outcome.lastError = CEchoProbe::LastError();
  outcome.extra = OpenDescriptorCount() - descriptors;
  return outcome;
}

int OpenDescriptorCount() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  int count = 0;
  while (::readdir(dir) != nullptr) ++count;
  ::closedir(dir);
  return count;
}

bool CanOpenRawSocket() {
  const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace corvelle::test
