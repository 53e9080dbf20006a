#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

// What went wrong, for the front ends to word or to pass on.
enum class ErrorCategory {
    Open,     // the file cannot be opened (Text names it and the system's reason)
    NoFrame,  // no MPEG audio frame where one must be
    Format,   // the bytes are there but give no usable source
    Read,     // a read failed or came up short
    Write,    // a file cannot be created, written or put in place (Text is the system's reason)
    Name,     // a part's file cannot have the name it was given (Text says why)
    Internal, // anything else an engine step threw
    Input,    // a value the user gave cannot be used (a count, a time)
    Stopped,  // the user stopped the step before it ended
};

// The engine's one error value. Offset is the byte in the source where the
// fault lies, -1 when it lies in no particular byte; Line the line of a sheet,
// 0 when none. Path names the file when Text does not already.
struct Error {
    Error(ErrorCategory category = ErrorCategory::Internal, std::int64_t offset = -1,
          std::string text = {}, std::string path = {}, std::int32_t line = 0)
        : Category(category), Offset(offset), Text(std::move(text)), Path(std::move(path)),
          Line(line) {}

    ErrorCategory Category = ErrorCategory::Internal;
    std::int64_t Offset = -1;
    std::string Text;
    std::string Path;
    std::int32_t Line = 0;
};

// The one way the front ends word an error: "path:line: reason", "path: reason",
// or the reason alone when no path is set.
inline std::string ErrorMessage(const Error& error) {
    if (error.Path.empty())
        return error.Text;
    if (error.Line > 0)
        return error.Path + ":" + std::to_string(error.Line) + ": " + error.Text;
    return error.Path + ": " + error.Text;
}

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

// Success, or the error that prevented it.
template <> class Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool Ok() const { return !error_.has_value(); }
    explicit operator bool() const { return Ok(); }
    const Error& Failure() const { return *error_; }

private:
    std::optional<Error> error_;
};
