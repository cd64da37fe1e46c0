// SPDX-License-Identifier: MIT
// How an operation that can fail for a reason the user must hear ends: the layer that knows the
// reason returns it, and the top (a window's handler, a command, a printer's job of a fleet) says
// it once and records it from the same value.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace corvelle {

enum class MessageStyle {
  Plain,        // OK button, no icon
  Error,        // OK button, error (stop) icon
  Exclamation,  // OK button, exclamation icon
  Question,     // OK and Cancel buttons, question icon
};

struct Outcome {
  enum class Code {
    Ok,
    Failed,   // `message` says why
    Stopped,  // STOP ended it; nothing more is said
  };
  Code code = Code::Ok;
  // What the user is shown, as the message tables hold it; empty for Stopped, and for Ok unless
  // the operation ends with a message of its own (a download's closing message).
  std::string message;
  // What the message leaves out (the file, device or address and the system's reason): a
  // terminal prints it on the line below, the window adds it to the message's box.
  std::string detail;
  MessageStyle style = MessageStyle::Plain;
  // The system's error number (errno, or GetLastError on Windows) behind a failure of a system
  // call, 0 when there is none; a caller that words its own text by it reads it here.
  int system = 0;

  static Outcome Failure(std::string message, MessageStyle style = MessageStyle::Plain, std::string detail = {}) {
    return {Code::Failed, std::move(message), std::move(detail), style, 0};
  }
  // A failure the system reported with `error`, for a caller that words it.
  static Outcome SystemError(int error) { return {Code::Failed, {}, {}, MessageStyle::Plain, error}; }
  // A system call's failure: `message` says which step failed, `detail` the system's reason.
  static Outcome SystemFailure(std::string message, int error) {
    Outcome failed = Failure(std::move(message), MessageStyle::Plain, std::strerror(error));
    failed.system = error;
    return failed;
  }
  static Outcome Stop() { return {Code::Stopped, {}, {}, MessageStyle::Plain, 0}; }
  // A failure with nothing (more) to say: a dialog the user cancelled, or one whose reason was
  // already returned.
  static Outcome Quiet() { return {Code::Failed, {}, {}, MessageStyle::Plain, 0}; }

  bool Ok() const { return code == Code::Ok; }
  explicit operator bool() const { return Ok(); }
  bool Stopped() const { return code == Code::Stopped; }
  // Neither done nor stopped: what a caller words or passes on as its own failure.
  bool Failed() const { return code == Code::Failed; }
};

// A value, or the Outcome that says why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : m_value(std::move(value)) {}          // NOLINT(google-explicit-constructor)
  Result(Outcome failure) : m_failure(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

  explicit operator bool() const { return m_value.has_value(); }
  T& operator*() { return *m_value; }
  const T& operator*() const { return *m_value; }
  T* operator->() { return &*m_value; }
  const T* operator->() const { return &*m_value; }
  // Why there is no value (an Ok outcome when there is one).
  const Outcome& Failure() const { return m_failure; }

 private:
  std::optional<T> m_value;
  Outcome m_failure;
};

}  // namespace corvelle
