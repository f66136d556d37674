#include <cstdlib>

#include "serial/Utf8.h"

namespace zul {

std::optional<std::string> EnvironmentUtf8(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::vector<std::string> ArgumentsUtf8(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace zul
