// Runs a piece of a test in a child process without root's rights, so that permission
// failures happen for real also when the suite runs as root (as CI does).
#pragma once

#include <functional>

namespace corvelle::test {

// Forks; the child drops to user and group 65534 ("nobody") when it is root, runs `body` and
// exits with its result. Returns that result, or -1 when the child did not exit normally.
int RunUnprivileged(const std::function<int()>& body);

}  // namespace corvelle::test
