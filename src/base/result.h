#pragma once
// The outcome of an operation that can fail for a reason the user should be told: the value,
// or the reason in words. Failures are values, never a silent nothing.
#include <optional>
#include <string>
#include <utility>

namespace base {

// What a failing operation returns; converts to a Result of any type.
struct Failure {
    std::string reason;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : error_(std::move(failure.reason)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Empty when ok().
    const std::string& error() const { return error_; }
    // The failure again, to pass on as the caller's own: `if (!x) return x.failure();`.
    Failure failure() const { return Failure{error_}; }

private:
    std::optional<T> value_;
    std::string error_;
};

// For operations that give nothing back but success.
struct Done {};
using Status = Result<Done>;

}  // namespace base
