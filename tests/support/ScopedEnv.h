// An environment variable set or cleared for the lifetime of an object.
#pragma once

#include <stdlib.h>

#include <string>

namespace gt {
namespace test {

// Sets (or, for a null value, clears) the variable; the destructor puts back
// what was there.
class ScopedEnv {
public:
    ScopedEnv(char const* name, char const* value) : m_name(name) {
        char const* old = ::getenv(name);
        m_had = old != nullptr;
        if (old) m_old = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_had) {
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    ScopedEnv(ScopedEnv const&) = delete;
    ScopedEnv& operator=(ScopedEnv const&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

}  // namespace test
}  // namespace gt
