#include "records/StationConfig.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "serial/FileStore.h"
#include "serial/Utf8.h"

namespace zul {

namespace {

// A station file is a few lines; anything longer is not one.
constexpr size_t kMaxFileBytes = 64 * 1024;

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A line of the file as it may be shown in a box: printable ASCII kept,
// everything else as "?", at most 60 characters.
std::string Shown(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 60)) {
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    if (text.size() > 60) out += "...";
    return out;
}

struct Key {
    const char* name;
    const char* variable;
    std::string StationConfig::*text;  // nullptr for unit_id
};
constexpr Key kKeys[] = {
    {"station", "ZUL10_STATION", &StationConfig::station},
    {"records", "ZUL10_RECORDS", &StationConfig::records},
    {"database", "ZUL10_DATABASE", &StationConfig::database},
    {"unit_id", "ZUL10_UNIT_ID", nullptr},
    {"unit_id_pattern", "ZUL10_UNIT_ID_PATTERN", &StationConfig::unitIdPattern},
    {"trace", "ZUL10_TRACE", &StationConfig::trace},
};

// "scan" or "off" (or nothing) for unit_id; false for anything else.
bool UnitIdSetting(std::string_view value, bool& scan) {
    if (value == "scan") {
        scan = true;
        return true;
    }
    if (value == "off" || value.empty()) {
        scan = false;
        return true;
    }
    return false;
}

}  // namespace

std::string StationConfig::ProblemText() const {
    std::string text = "These lines of the station file were not used:\n";
    for (const std::string& problem : problems) text += problem + "\n";
    return text + "The rest of the settings is used.";
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    return EnvironmentUtf8(name);
}

std::string StationFilePath() {
    if (const auto file = EnvironmentVariable("ZUL10_STATION_FILE")) return *file;
#ifdef _WIN32
    const std::string data = EnvironmentVariable("ProgramData").value_or("C:\\ProgramData");
    return data + "\\ZUL10\\station.conf";
#else
    return "/etc/zul10/station.conf";
#endif
}

StationConfig ParseStationConfig(std::string_view text, const std::string& name,
                                 const VariableLookup& variable) {
    StationConfig config;
    config.file = name;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        const auto problem = [&](const std::string& why) {
            config.problems.push_back(name + ":" + std::to_string(number) + ": " + why);
        };
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            problem("no \"key = value\": " + Shown(line));
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        const Key* known = nullptr;
        for (const Key& k : kKeys) {
            if (key == k.name) known = &k;
        }
        if (known == nullptr) {
            problem("unknown key \"" + Shown(key) + "\"");
        } else if (known->text == nullptr) {
            if (!UnitIdSetting(value, config.scanUnitId))
                problem("unit_id must be \"scan\" or \"off\", not \"" + Shown(value) + "\"");
        } else {
            config.*known->text = std::string(value);
        }
    }
    for (const Key& k : kKeys) {
        const std::optional<std::string> value = variable(k.variable);
        if (!value) continue;
        if (k.text != nullptr) {
            config.*k.text = *value;
        } else if (!UnitIdSetting(*value, config.scanUnitId)) {
            config.problems.push_back(std::string(k.variable) +
                                      " must be \"scan\" or \"off\", not \"" + Shown(*value) +
                                      "\"");
        }
    }
    return config;
}

StationConfig ReadStationConfig(const std::string& path, const VariableLookup& variable) {
    std::string text;
    std::string problem;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenStoredFile(path), std::fclose);
    if (file) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0 &&
               text.size() <= kMaxFileBytes) {
            text.append(buffer, n);
        }
        if (std::ferror(file.get()) != 0) {
            problem = path + ": cannot be read";
            text.clear();
        } else if (text.size() > kMaxFileBytes) {
            problem = path + ": longer than 64 KiB, not a station file";
            text.clear();
        }
    }
    std::error_code ec;
    if (!file && problem.empty() && std::filesystem::exists(PathFromUtf8(path), ec)) {
        problem = path + ": cannot be read (not a regular file, or not readable)";
    }
    StationConfig config = ParseStationConfig(text, file ? path : "", variable);
    if (!problem.empty()) config.problems.insert(config.problems.begin(), problem);
    return config;
}

}  // namespace zul
