// Failures as values. A Status is an error number of the standard-message table, or success,
// with an optional detail (a mail server's own reply to a step it refused); a Result<T> is a
// value or the Status that explains why there is none. Nothing in the program throws across a
// folder: every operation that can fail returns one of these, and neither can be ignored
// ([[nodiscard]]). A Result's value may be read only when it is ok(): debug builds assert it.
#ifndef WEBLETTER_BASE_STATUS_H_
#define WEBLETTER_BASE_STATUS_H_

#include <cassert>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace webletter {

class [[nodiscard]] Status {
 public:
  // Success.
  constexpr Status() = default;
  // A failure with a standard-message number; 0 means success.
  constexpr explicit Status(int error_number) : number_(error_number) {}
  // A failure with the text that the other end gave for it, already fit to show (one line, no
  // control characters, no password).
  Status(int error_number, std::string detail)
      : number_(error_number), detail_(std::move(detail)) {}

  static constexpr Status Ok() { return Status(); }

  constexpr bool ok() const { return number_ == 0; }
  constexpr int number() const { return number_; }
  // The standard message of the number (see standard_messages.h); empty for success.
  std::string_view message() const;
  // The detail; empty when there is none.
  const std::string& detail() const { return detail_; }
  // The text to show: the standard message, then " (detail)" when there is a detail.
  std::string Text() const;

  friend bool operator==(const Status&, const Status&) = default;

 private:
  int number_ = 0;
  std::string detail_;
};

// A value of type T, or the failure that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}           // NOLINT: implicit on purpose
  Result(Status failure) : status_(std::move(failure)) {  // NOLINT: implicit on purpose
    assert(!status_.ok());
  }

  bool ok() const { return status_.ok(); }
  Status status() const { return status_; }

  // Only valid when ok().
  const T& value() const& { return Checked(*this).value_; }
  T& value() & { return Checked(*this).value_; }
  T&& value() && { return std::move(Checked(*this).value_); }
  const T& operator*() const& { return value(); }
  T& operator*() & { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }

 private:
  template <typename Self>
  static Self& Checked(Self& self) {
    assert(self.ok() && "the value of a failed Result");
    return self;
  }

  T value_{};
  Status status_;
};

// How tests print a Status: "36004 The mail server did not answer in time", with the detail in
// brackets after it; "OK" for success.
inline void PrintTo(const Status& status, std::ostream* out) {
  if (status.ok()) {
    *out << "OK";
  } else {
    *out << status.number() << ' ' << status.Text();
  }
}

}  // namespace webletter

#endif  // WEBLETTER_BASE_STATUS_H_
