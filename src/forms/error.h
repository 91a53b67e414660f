#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace forms {

// A run-time error as the runtime reports it: a number and a text.
struct RuntimeError {
    std::int32_t number { 0 };
    std::string description;
};

// Every number this runtime raises, each under one name.
namespace errors {
inline constexpr std::int32_t invalid_procedure_call = 5;
// Also the floating-point error of a computation that overflows.
inline constexpr std::int32_t overflow = 6;
inline constexpr std::int32_t out_of_memory = 7;
inline constexpr std::int32_t disk_full = 61;
inline constexpr std::int32_t device_unavailable = 68;
inline constexpr std::int32_t permission_denied = 70;
inline constexpr std::int32_t file_io = 75;
inline constexpr std::int32_t path_not_found = 76;
inline constexpr std::int32_t no_such_array_element = 340;
inline constexpr std::int32_t object_required = 424;
inline constexpr std::int32_t invalid_picture = 481;
inline constexpr std::int32_t printer_error = 482;
inline constexpr std::int32_t cant_open_clipboard = 521;
}

// Raising a run-time error unwinds the handler that made the failing call;
// the runtime's event dispatch is the only place that catches it.
class RaisedError : public std::runtime_error {
public:
    explicit RaisedError(RuntimeError error)
        : std::runtime_error(error.description)
        , m_error(std::move(error))
    {
    }
    RuntimeError const& error() const { return m_error; }

private:
    RuntimeError m_error;
};

[[noreturn]] inline void raise(RuntimeError error) { throw RaisedError(std::move(error)); }

// The result of a runtime operation that reports success or failure.
template<typename T>
class [[nodiscard]] ErrorOr {
public:
    ErrorOr(T value)
        : m_value(std::move(value))
    {
    }
    ErrorOr(RuntimeError error)
        : m_value(std::move(error))
    {
    }

    bool is_error() const { return std::holds_alternative<RuntimeError>(m_value); }
    RuntimeError const& error() const { return std::get<RuntimeError>(m_value); }
    T& value() { return std::get<T>(m_value); }
    T const& value() const { return std::get<T>(m_value); }
    T release_value() { return std::move(std::get<T>(m_value)); }

private:
    std::variant<T, RuntimeError> m_value;
};

template<>
class [[nodiscard]] ErrorOr<void> {
public:
    ErrorOr() = default;
    ErrorOr(RuntimeError error)
        : m_error(std::move(error))
        , m_failed(true)
    {
    }
    bool is_error() const { return m_failed; }
    RuntimeError const& error() const { return m_error; }

private:
    RuntimeError m_error;
    bool m_failed { false };
};

// Tests a reported result at once: a failure raises the run-time error.
template<typename T>
T must(ErrorOr<T> result)
{
    if (result.is_error())
        raise(result.error());
    return result.release_value();
}

inline void must(ErrorOr<void> result)
{
    if (result.is_error())
        raise(result.error());
}

// Passes a failure up to the caller, which returns an ErrorOr of its own:
//     TRY(check(...));
//     TRY_ASSIGN(auto device, printer());
#define FORMS_TRY_CONCAT_(a, b) a##b
#define FORMS_TRY_NAME_(line) FORMS_TRY_CONCAT_(forms_try_result_, line)
#define TRY(expression)                           \
    do {                                          \
        if (auto forms_try_result_ = (expression); \
            forms_try_result_.is_error())         \
            return forms_try_result_.error();     \
    } while (false)
#define TRY_ASSIGN(declaration, expression)                          \
    auto FORMS_TRY_NAME_(__LINE__) = (expression);                   \
    if (FORMS_TRY_NAME_(__LINE__).is_error())                        \
        return FORMS_TRY_NAME_(__LINE__).error();                    \
    declaration = FORMS_TRY_NAME_(__LINE__).release_value()

}
