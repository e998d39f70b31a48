#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace qor {

// Hands an exception that reached a boundary with Qt to the application's error
// handler (EAbort silently, anything else in an error dialog). Never throws.
void handleGuardedException(std::exception_ptr error) noexcept;

// The exception boundary. Qt's event loop is not exception-safe, so every entry from
// Qt into our code (slots, event filters, event overrides, delegate overrides, timers)
// runs through here. Returns false when the callable raised.
template <typename Fn> bool guarded(Fn &&fn) noexcept
{
    try {
        std::invoke(std::forward<Fn>(fn));
        return true;
    } catch (...) {
        handleGuardedException(std::current_exception());
        return false;
    }
}

// Wraps a callable for QObject::connect or a timer: the returned callable takes the
// same arguments and runs the original under guarded().
template <typename Fn> auto guard(Fn fn)
{
    return [fn = std::move(fn)](auto &&...args) mutable {
        guarded([&] { std::invoke(fn, std::forward<decltype(args)>(args)...); });
    };
}

} // namespace qor

// Statement form: QOR_GUARD(doSomething(); doMore();)
#define QOR_GUARD(...) ::qor::guarded([&] { __VA_ARGS__; })
