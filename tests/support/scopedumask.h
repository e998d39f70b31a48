#pragma once

#include <sys/stat.h>

namespace qor::testing {

// Sets the process's umask for one scope, and puts the old one back. A process started
// meanwhile inherits it.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask)
        : m_old(::umask(mask))
    { }
    ~ScopedUmask() { ::umask(m_old); }
    ScopedUmask(const ScopedUmask &) = delete;
    ScopedUmask &operator=(const ScopedUmask &) = delete;

private:
    mode_t m_old;
};

} // namespace qor::testing
