// Errors as values. No exception crosses a core interface: every operation that can fail returns a
// Status (or a Result<T>) that carries the errno-style code, the path it concerned and what was being done.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace vask {

// Every Status must be looked at: a dropped one is an error nobody hears of. Where ignoring one is right, the
// caller says why next to a (void) cast.
class [[nodiscard]] Status {
  public:
    // Outcomes of Vask's own, apart from the errno values (which are all positive).
    // Changed: the file or folder is no longer the one that was checked before (by the search, or earlier in
    // the same operation); it was left as it is. Busy: another operation holds what is needed; try later.
    static constexpr int kChanged = -1;
    static constexpr int kBusy = -2;

    // A default-constructed Status is success.
    Status() = default;

    static Status Ok() { return Status(); }
    // code is an errno value (never 0 for an error); operation names the step, e.g. "open".
    static Status Error(int code, std::string path, std::string operation) {
        Status s;
        s.code_ = code == 0 ? EIO : code;
        s.path_ = std::move(path);
        s.operation_ = std::move(operation);
        return s;
    }
    static Status Changed(std::string path, std::string operation) {
        return Error(kChanged, std::move(path), std::move(operation));
    }
    static Status Busy(std::string path, std::string operation) {
        return Error(kBusy, std::move(path), std::move(operation));
    }

    bool ok() const { return code_ == 0; }
    explicit operator bool() const { return ok(); }
    // The errno value, or kChanged / kBusy; 0 on success. Status::Error(code(), ...) keeps the outcome.
    int code() const { return code_; }
    bool changed() const { return code_ == kChanged; }
    bool busy() const { return code_ == kBusy; }
    const std::string& path() const { return path_; }
    const std::string& operation() const { return operation_; }

    // The errno text of the code, e.g. "No space left on device", or the words for an own outcome.
    std::string ErrorText() const {
        if (ok()) return std::string();
        if (changed()) return "Changed since it was checked";
        if (busy()) return "Busy with another operation";
        return std::generic_category().message(code_);
    }
    // "operation path: errno text", for reports and test failure messages.
    std::string ToString() const {
        if (ok()) return "OK";
        return operation_ + " " + path_ + ": " + ErrorText();
    }

  private:
    int code_ = 0;
    std::string path_;
    std::string operation_;
};

// A value or the Status saying why there is none.
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design, like std::expected
    Result(Status error) : status_(std::move(error)) {
        if (status_.ok()) status_ = Status::Error(EINVAL, "", "Result without value");
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Status& status() const { return status_; }
    // Precondition: ok(). Reaching for the value of an error is a fault in the caller: the process aborts
    // and names the error on stderr rather than reading a value that is not there.
    T& value() & { return Checked(); }
    const T& value() const& { return Checked(); }
    T&& value() && { return std::move(Checked()); }
    T* operator->() { return &Checked(); }
    const T* operator->() const { return &Checked(); }
    T& operator*() & { return Checked(); }

  private:
    T& Checked() {
        if (!value_) AbortWithoutValue();
        return *value_;
    }
    const T& Checked() const {
        if (!value_) AbortWithoutValue();
        return *value_;
    }
    [[noreturn]] void AbortWithoutValue() const {
        std::fprintf(stderr, "Result::value() on an error: %s\n", status_.ToString().c_str());
        std::abort();
    }

    std::optional<T> value_;
    Status status_;
};

}  // namespace vask
