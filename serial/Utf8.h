#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zul {

// Text to and from the system. Inside the program every text, path and name
// is UTF-8 in a std::string. On Windows the system's own text is UTF-16, and
// every call that takes or gives a name goes through its wide (...W) form and
// these conversions; the narrow forms and std::filesystem::path(std::string)
// would go through the ANSI code page, which cannot hold every name (a
// Japanese user name on a PC set up for Western Europe) and reads UTF-8 bytes
// as something else. On POSIX, names are bytes and pass unchanged.

// A path from UTF-8 text (on POSIX, the bytes as they are).
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 text of a path (on POSIX, its bytes).
inline std::string Utf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The value of the environment variable name (ASCII) in UTF-8, or no value
// when it is unset or empty. Windows: GetEnvironmentVariableW, so that a
// value outside the ANSI code page (a Japanese %LOCALAPPDATA%) arrives whole.
std::optional<std::string> EnvironmentUtf8(const char* name);

// The program's arguments in UTF-8, argv[0] first. POSIX: argv as it is.
// Windows: the process's own wide command line split as the C runtime
// splits it (CommandLineToArgvW); argc and argv are then not read.
std::vector<std::string> ArgumentsUtf8(int argc, char** argv);

#ifdef _WIN32
// UTF-8 to UTF-16 and back (MultiByteToWideChar and WideCharToMultiByte with
// CP_UTF8). Bytes that are no UTF-8, and lone surrogates, become U+FFFD.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);
#endif

}  // namespace zul
