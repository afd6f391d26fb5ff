#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace cli {

// A value, or what stands for the failure: std::expected<T, E> as C++23 has it. E is the line
// that says why, or (StatusOr) the exit status of a failure said already.
template <typename T, typename E = QString> class Result {
public:
    Result(T value)
        : value_(std::move(value))
    {
    }
    static Result failure(E why)
    {
        Result result;
        result.why_ = std::move(why);
        return result;
    }

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return &*value_; }
    const E& error() const { return why_; }

private:
    Result() = default;

    std::optional<T> value_;
    E why_ {};
};

// A value, or the exit status of a failure that has been said already: the failure itself,
// a Report, is said where it happens, where the console and the call are at hand.
template <typename T> using StatusOr = Result<T, int>;

} // namespace cli
