#include "records/FolderName.h"

namespace zul::records {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Both separators, whatever the platform: Windows names are judged by
// Windows rules everywhere.
bool IsWindowsSeparator(char c) {
    return c == '\\' || c == '/';
}

[[maybe_unused]] bool IsBareDrive(std::string_view name) {
    return name.size() == 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

// The part of name after "\\" or "\\?\UNC\" (any case); npos when name is no
// UNC name. "\\.\" and "\\?\" before anything else are the device and
// long-name prefixes, not a server.
size_t AfterUncPrefix(std::string_view name) {
    if (name.size() < 3 || !IsWindowsSeparator(name[0]) || !IsWindowsSeparator(name[1])) {
        return std::string_view::npos;
    }
    if ((name[2] == '?' || name[2] == '.') && (name.size() == 3 || IsWindowsSeparator(name[3]))) {
        if (name[2] == '.' || name.size() < 8) return std::string_view::npos;
        const std::string_view unc = name.substr(4, 3);
        const bool isUnc = (unc[0] == 'U' || unc[0] == 'u') && (unc[1] == 'N' || unc[1] == 'n') &&
                           (unc[2] == 'C' || unc[2] == 'c') && IsWindowsSeparator(name[7]);
        return isUnc ? 8 : std::string_view::npos;
    }
    return 2;
}

// The end of the component that starts at from (the next separator or the
// end of name).
size_t ComponentEnd(std::string_view name, size_t from) {
    while (from < name.size() && !IsWindowsSeparator(name[from])) ++from;
    return from;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!folder.empty() && !IsSeparator(folder.back())) {
#ifdef _WIN32
        if (!IsBareDrive(folder)) joined += kSeparator;
#else
        joined += kSeparator;
#endif
    }
    joined += name;
    return joined;
}

std::string FolderOfPath(std::string_view path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    if (end == 0) {
#ifdef _WIN32
        if (path.size() > 2 && path[1] == ':' && IsBareDrive(path.substr(0, 2))) {
            return std::string(path.substr(0, 2));
        }
#endif
        return ".";
    }
    // The separator itself goes, unless the folder is a root.
    const std::string_view folder = path.substr(0, end);
    const std::string_view without = path.substr(0, end - 1);
    if (without.empty()) return std::string(folder);  // "/"
#ifdef _WIN32
    if (IsBareDrive(without) || IsShareRoot(folder)) return std::string(folder);
#endif
    return std::string(without);
}

bool IsShareRoot(std::string_view name) {
    const size_t server = AfterUncPrefix(name);
    if (server == std::string_view::npos) return false;
    const size_t serverEnd = ComponentEnd(name, server);
    if (serverEnd == server || serverEnd == name.size()) return false;
    const size_t share = serverEnd + 1;
    const size_t shareEnd = ComponentEnd(name, share);
    if (shareEnd == share) return false;
    for (size_t i = shareEnd; i < name.size(); ++i) {
        if (!IsWindowsSeparator(name[i])) return false;
    }
    return true;
}

std::string FolderQueryName(std::string_view folder) {
    if (!IsShareRoot(folder)) return std::string(folder);
    while (IsWindowsSeparator(folder.back())) folder.remove_suffix(1);
    return std::string(folder) + '\\';
}

}  // namespace zul::records
