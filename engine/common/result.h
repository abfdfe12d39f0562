// Error handling shared by the whole engine: a fallible function returns a
// Result<T> holding either its value or an Error with a readable message.
// Nothing throws across the engine's public headers.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace zf {

struct Error {
    std::string message;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(std::move(error)) {}

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { assert(ok()); return std::get<0>(m_data); }
    const T& value() const& { assert(ok()); return std::get<0>(m_data); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(m_data)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { assert(!ok()); return std::get<1>(m_data); }
    const std::string& message() const { return error().message; }

private:
    std::variant<T, Error> m_data;
};

// For functions that succeed with no value.
struct Ok {};
using Status = Result<Ok>;

inline Error makeError(std::string message) { return Error{std::move(message)}; }

} // namespace zf
