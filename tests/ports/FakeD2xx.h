// SPDX-License-Identifier: MIT
// A scripted bridge library for the USB kind: each block is what one queue-status call finds
// waiting and what the read after it gets; every call is recorded, and the bytes written counted.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <string>

#include "ports/D2xx.h"

namespace corvelle::test {

struct Bridge {
  struct Block { std::string bytes; int readStatus = kD2xxOk; };
  std::deque<Block> blocks;
  std::deque<int> queueStatuses;  // what the queue-status calls answer in turn; then 0
  std::function<Block()> more;    // the next block once the script's are used up
  int openStatus = kD2xxOk, purgeStatus = kD2xxOk, writeStatus = kD2xxOk;
  std::string calls;
  std::size_t written = 0;
};

class FakeD2xx : public D2xx {
 public:
  explicit FakeD2xx(Bridge& bridge) : m(bridge) {}
  int OpenEx(const std::string& name, unsigned flags, D2xxHandle* h) override {
    return Call("open " + name + " " + std::to_string(flags), *h = 77, m.openStatus);
  }
  int ResetDevice(D2xxHandle h) override { return Call("reset", h); }
  int SetTimeouts(D2xxHandle h, unsigned r, unsigned) override { return Call("timeouts " + std::to_string(r), h); }
  int Purge(D2xxHandle h, unsigned mask) override { return Call("purge " + std::to_string(mask), h, m.purgeStatus); }
  int Write(D2xxHandle h, const void* buffer, unsigned count, unsigned* written) override {
    m.written += *written = m.writeStatus == kD2xxOk ? count : 0;
    return Call("write " + std::string(static_cast<const char*>(buffer), count), h, m.writeStatus);
  }
  int GetQueueStatus(D2xxHandle h, unsigned* waiting) override {
    if (!m.queueStatuses.empty()) {
      const int status = m.queueStatuses.front();
      m.queueStatuses.pop_front();
      return Call("status", h, status);
    }
    if (m.blocks.empty() && m.more) m.blocks.push_back(m.more());
    *waiting = m.blocks.empty() ? 0 : static_cast<unsigned>(m.blocks.front().bytes.size());
    if (!m.blocks.empty() && *waiting == 0) m.blocks.pop_front();
    return Call("status", h);
  }
  int Read(D2xxHandle h, void* buffer, unsigned count, unsigned* read) override {
    const Bridge::Block block = std::move(m.blocks.front());
    m.blocks.pop_front();
    *read = std::min(count, static_cast<unsigned>(block.bytes.size()));
    std::memcpy(buffer, block.bytes.data(), *read);
    return Call("read " + std::to_string(count), h, block.readStatus);
  }
  int Close(D2xxHandle h) override { return Call("close", h); }

 private:
  int Call(const std::string& name, D2xxHandle h, int status = kD2xxOk) {
    m.calls += name + "; ";
    return h == 77 ? status : kD2xxInvalidHandle;
  }
  Bridge& m;
};

}  // namespace corvelle::test
