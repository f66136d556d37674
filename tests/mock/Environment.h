#pragma once

#include <stdlib.h>

#include <string>

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

}  // namespace zul::test
