#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace cli {

// A value, or the line that says why there is none: std::expected<T, QString> as C++23 has it.
template <typename T> class Result {
public:
    Result(T value)
        : value_(std::move(value))
    {
    }
    static Result failure(QString why)
    {
        Result result;
        result.why_ = std::move(why);
        return result;
    }

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return &*value_; }
    const QString& error() const { return why_; }

private:
    Result() = default;

    std::optional<T> value_;
    QString why_;
};

// A value, or the exit status of a failure that has been said already.
template <typename T> class StatusOr {
public:
    StatusOr(T value)
        : value_(std::move(value))
    {
    }
    static StatusOr failed(int status)
    {
        StatusOr result;
        result.status_ = status;
        return result;
    }

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return &*value_; }
    int status() const { return status_; } // 0 when there is a value

private:
    StatusOr() = default;

    std::optional<T> value_;
    int status_ = 0;
};

} // namespace cli
