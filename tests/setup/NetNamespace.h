// Runs pieces of a test in a child process inside a fresh network namespace, so that probes
// can time out, look names up and use the datagram ICMP socket without sending anything off
// the machine.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <type_traits>

#include "setup/EchoProbe.h"

namespace corvelle::test {

// 127.0.0.1 in network byte order.
inline const std::uint32_t kLoopback = htonl(INADDR_LOOPBACK);

struct NamespaceSetup {
  bool ignoreEcho = false;        // net.ipv4.icmp_echo_ignore_all = 1: nothing answers
  bool allowPingSockets = false;  // net.ipv4.ping_group_range = "0 2147483647"
  bool unprivileged = false;      // run the body as user nobody (no CAP_NET_RAW)
};

enum class NamespaceStatus { Ran, Unavailable, ChildFailed };

// Runs `body` in a child in a new network namespace that has only loopback, up, and brings
// back the bytes it returns.
NamespaceStatus RunInNamespaceForBytes(const NamespaceSetup& setup, const std::function<std::string()>& body,
                                       std::string& result, std::string& why);

template <typename T>
struct NamespaceRun {
  NamespaceStatus status = NamespaceStatus::ChildFailed;
  T value{};
  std::string why;  // when it did not run
};

// The same for a body that returns a plain value.
template <typename Body>
auto RunInNamespace(const NamespaceSetup& setup, Body body) {
  using Value = std::invoke_result_t<Body>;
  static_assert(std::is_trivially_copyable_v<Value>);
  NamespaceRun<Value> run;
  std::string bytes;
  run.status = RunInNamespaceForBytes(
      setup,
      [&] {
        const Value value = body();
        return std::string(reinterpret_cast<const char*>(&value), sizeof value);
      },
      bytes, run.why);
  if (run.status == NamespaceStatus::Ran && bytes.size() == sizeof(Value)) {
    std::memcpy(&run.value, bytes.data(), sizeof(Value));
  } else if (run.status == NamespaceStatus::Ran) {
    run.status = NamespaceStatus::ChildFailed;
    run.why = "the child sent back no result";
  }
  return run;
}

// Declares `run` as the result of RunInNamespace; skips the test where no namespace can be
// made here and fails it when the child broke down.
#define CORVELLE_RUN_IN_NAMESPACE(run, setup, body)                                    \
  const auto run = ::corvelle::test::RunInNamespace(setup, body);                      \
  if (run.status == ::corvelle::test::NamespaceStatus::Unavailable) GTEST_SKIP() << run.why; \
  ASSERT_EQ(run.status, ::corvelle::test::NamespaceStatus::Ran) << run.why

// What a probe brings back.
struct ProbeOutcome {
  int result = -1;
  int lastError = 0;
  EchoProbeReply reply;
  int extra = 0;  // descriptors left open by ProbeWith, or whatever else a body reports
};

// Probes `host` with the callers' arguments, except for those given, and counts in `extra`
// the descriptors the probe left open.
ProbeOutcome ProbeWith(const std::string& host, std::uint32_t timeoutMs = 5000, std::int32_t dataSize = 32,
                       const char* localAddress = nullptr, unsigned sequence = 0);

// The number of open file descriptors of this process.
int OpenDescriptorCount();

// True when this process may open a raw ICMP socket.
bool CanOpenRawSocket();

}  // namespace corvelle::test
