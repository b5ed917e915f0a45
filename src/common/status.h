// A small error-as-value type shared by the core: empty means success, otherwise the words
// the user is shown.
#pragma once

#include <string>
#include <utility>

namespace skelbrook {

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) {
    Status s;
    s.error_ = std::move(message);
    if (s.error_.empty()) s.error_ = "unknown error";
    return s;
  }

  // The user asked to stop: neither a success nor a failure with words of its own. The work
  // ends there and cleans up after itself.
  static Status Stopped() {
    Status s;
    s.error_ = "stopped";
    s.stopped_ = true;
    return s;
  }

  // The recorder disk would not deliver the bytes: a failure of the disk, not of the
  // destination or the catalogue, which a rescue can work around.
  static Status Unreadable(std::string message) {
    Status s = Error(std::move(message));
    s.unreadable_ = true;
    return s;
  }

  bool ok() const { return error_.empty(); }
  bool stopped() const { return stopped_; }
  bool unreadable() const { return unreadable_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return error_; }

 private:
  std::string error_;
  bool stopped_ = false;
  bool unreadable_ = false;
};

}  // namespace skelbrook
