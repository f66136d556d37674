#include <windows.h>

// After windows.h, whose types it uses.
#include <shellapi.h>

#include <climits>

#include "serial/Utf8.h"

namespace zul {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int length = static_cast<int>(utf8.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), size);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::optional<std::string> EnvironmentUtf8(const char* name) {
    const std::wstring wideName = Wide(name);
    // The size asked first; a value changed in between is asked again.
    std::wstring value;
    for (DWORD size = 256;;) {
        value.resize(size);
        const DWORD got = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
        if (got == 0) return std::nullopt;  // unset (ERROR_ENVVAR_NOT_FOUND) or empty
        if (got < size) {
            value.resize(got);
            return Utf8(value);
        }
        size = got;  // the size needed, with the closing zero
    }
}

std::vector<std::string> ArgumentsUtf8(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

}  // namespace zul
