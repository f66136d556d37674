#pragma once

#include <stdlib.h>

#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zul::test {

#ifdef _WIN32
// UTF-8 to UTF-16, for the wide environment.
inline std::wstring WideText(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                        static_cast<int>(text.size()), wide.data(),
                                                        static_cast<int>(wide.size()))));
    return wide;
}
#endif

// Sets or removes an environment variable of this process, on both
// platforms (Windows has no setenv). value is UTF-8; on Windows it goes in
// through the wide environment, which the C runtime passes on to the
// system's (a narrow value would go through the ANSI code page). An empty
// value removes it on Windows.
inline void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _wputenv_s(WideText(name).c_str(), WideText(value).c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void UnsetEnvironment(const std::string& name) {
#ifdef _WIN32
    _wputenv_s(WideText(name).c_str(), L"");
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
