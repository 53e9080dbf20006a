#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

// What went wrong, for the front ends to word or to pass on.
enum class ErrorCategory {
    Open,     // the file cannot be opened (Text names it and the system's reason)
    NoFrame,  // no MPEG audio frame where one must be
    Format,   // the bytes are there but give no usable source
    Read,     // a read failed or came up short
    Name,     // a part's file cannot have the name it was given (Text says why)
    Internal, // anything else an engine step threw
};

// The engine's one error value. Offset is the byte in the source where the
// fault lies, -1 when it lies in no particular byte.
struct Error {
    ErrorCategory Category = ErrorCategory::Internal;
    std::int64_t Offset = -1;
    std::string Text;
};

// A value or the error that prevented it (the standard library of GCC 12 has
// no std::expected).
template <typename T> class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool Ok() const { return state_.index() == 0; }
    explicit operator bool() const { return Ok(); }
    T& Value() { return std::get<0>(state_); }
    const T& Value() const { return std::get<0>(state_); }
    const Error& Failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};
