#pragma once

#include <stdlib.h>

#include <string>
#include <utility>

namespace zul::test {

// Sets or removes an environment variable of this process, on both
// platforms (Windows has no setenv). An empty value removes it on Windows.
inline void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void UnsetEnvironment(const std::string& name) {
#ifdef _WIN32
    _putenv_s(name.c_str(), "");
#else
    unsetenv(name.c_str());
#endif
}

// Sets a variable for the lifetime of the object, then removes it.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value) : name_(std::move(name)) {
        SetEnvironment(name_, value);
    }
    ~ScopedVariable() { UnsetEnvironment(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
};

}  // namespace zul::test
