#pragma once
// Sets an environment variable (unsets it for nullptr) for the lifetime of the object.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace korvo::testing {

struct ScopedEnv {
    ScopedEnv(const char* name, const char* value) : name(name) {
        if (const char* was = std::getenv(name)) old = was;
        set(value);
    }
    ~ScopedEnv() { set(old ? old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void set(const char* value) {
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
        ::tzset();
    }
    const char* name;
    std::optional<std::string> old;
};

} // namespace korvo::testing
