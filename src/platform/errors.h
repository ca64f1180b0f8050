// Errors raised by the forms runtime and the system: a number and a description.
// A failing operation throws Error; the system catches nothing and the runtime
// reports at the edge of every event handler and window procedure. Every number the
// program can raise and its text are listed once, here.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace pelmora::platform {

enum class ErrorCode : std::int32_t {
    InvalidProcedureCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    DivisionByZero = 11,
    TypeMismatch = 13,
    InternalError = 51,
    FileAccess = 75,
    ControlArrayElementMissing = 340,
    ObjectUnloaded = 364,
    InvalidPropertyValue = 380,
    AlreadyShownModally = 400,
    ObjectRequired = 424,
    InvalidPicture = 481,
    ControlNotFound = 730,
    MemoryStatusUnavailable = 31001,
    CannotCreateWindow = 31002,
};

// The one text of each error; a raiser may add a detail after it.
constexpr std::string_view errorText(ErrorCode code) noexcept {
    switch (code) {
        case ErrorCode::InvalidProcedureCall:
            return "Invalid procedure call or argument";
        case ErrorCode::Overflow:
            return "Overflow";
        case ErrorCode::OutOfMemory:
            return "Out of memory";
        case ErrorCode::DivisionByZero:
            return "Division by zero";
        case ErrorCode::TypeMismatch:
            return "Type mismatch";
        case ErrorCode::InternalError:
            return "Internal error";
        case ErrorCode::FileAccess:
            return "Path/File access error";
        case ErrorCode::ControlArrayElementMissing:
            return "Control array element does not exist";
        case ErrorCode::ObjectUnloaded:
            return "Object was unloaded";
        case ErrorCode::InvalidPropertyValue:
            return "Invalid property value";
        case ErrorCode::AlreadyShownModally:
            return "Form already displayed; can't show modally";
        case ErrorCode::ObjectRequired:
            return "Object required";
        case ErrorCode::InvalidPicture:
            return "Invalid picture";
        case ErrorCode::ControlNotFound:
            return "Control not found";
        case ErrorCode::MemoryStatusUnavailable:
            return "The memory status is unavailable";
        case ErrorCode::CannotCreateWindow:
            return "Cannot create the window";
    }
    return "Unknown error";
}

class Error : public std::runtime_error {
  public:
    // "<text>" or "<text>: <detail>".
    explicit Error(ErrorCode code, std::string_view detail = {})
        : Error(static_cast<std::int32_t>(code), compose(code, detail)) {}

    // An error of another origin (the OS, a test) under its own number and text.
    Error(std::int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    bool is(ErrorCode code) const noexcept { return number_ == static_cast<std::int32_t>(code); }

    static Error overflow() { return Error(ErrorCode::Overflow); }
    static Error divisionByZero() { return Error(ErrorCode::DivisionByZero); }

  private:
    static std::string compose(ErrorCode code, std::string_view detail) {
        std::string text(errorText(code));
        if (!detail.empty()) {
            text += ": ";
            text += detail;
        }
        return text;
    }

    std::int32_t number_;
    std::string description_;
};

// The result of an operation that hands its failure back instead of raising it.
class [[nodiscard]] Status {
  public:
    Status() = default;
    Status(Error error) : error_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

    bool ok() const noexcept { return !error_.has_value(); }
    const std::optional<Error>& error() const noexcept { return error_; }

    // Raises the failure again, as the caller of a status-returning procedure does.
    void raise() const {
        if (error_) {
            throw *error_;
        }
    }

  private:
    std::optional<Error> error_;
};

}  // namespace pelmora::platform
