#pragma once

// Name generators for parameterised suites (the fourth argument of
// INSTANTIATE_TEST_SUITE_P). Every case gets a readable name that stays the
// same from build to build, so CTest lists behaviours and `ctest -R` can pick
// one case.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace zul::test {

// Letters and digits of text, each word starting with a capital:
// "peak 46 ad 58" gives "Peak46Ad58".
inline std::string CamelCase(const std::string& text) {
    std::string name;
    bool wordStart = true;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) == 0) {
            wordStart = true;
            continue;
        }
        name += wordStart ? static_cast<char>(std::toupper(u)) : c;
        wordStart = false;
    }
    return name;
}

// A byte value as a name: prefix and two hex digits, "Byte0x15".
inline std::string HexName(const char* prefix, unsigned value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", value & 0xFFu);
    return std::string(prefix) + hex;
}

// The case named after what PrintTo shows of its parameter.
struct PrintedName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return CamelCase(::testing::PrintToString(info.param));
    }
};

// The case named by its parameter's own name field.
struct FieldName {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return std::string(info.param.name);
    }
};

}  // namespace zul::test
