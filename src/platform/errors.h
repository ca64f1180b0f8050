// Errors raised by the forms runtime and the system: a number and a description.
// A failing operation throws Error; the system catches nothing and each backend
// reports at the edge of every event handler and window procedure.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace pelmora::platform {

// Error numbers the runtime raises; backends may raise others of their own.
namespace errnum {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t ObjectRequired = 424;
inline constexpr std::int32_t ControlArrayElementMissing = 340;
inline constexpr std::int32_t ControlNotFound = 730;
inline constexpr std::int32_t MemoryStatusUnavailable = 31001;
}  // namespace errnum

class Error : public std::runtime_error {
  public:
    Error(std::int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    std::int32_t number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

    static Error overflow() { return {errnum::Overflow, "Overflow"}; }
    static Error divisionByZero() { return {errnum::DivisionByZero, "Division by zero"}; }

  private:
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
