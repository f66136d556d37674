#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "serial/Utf8.h"

namespace zul::test {

// A fresh directory under /tmp (the temporary folder on Windows), removed with everything in it
// when the object goes, also when a test took its write permission away.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
#ifdef _WIN32
        // No mkdtemp: a random name under the temporary folder, made anew.
        std::random_device random;
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        for (int attempt = 0; attempt < 100 && path_.empty() && !ec; ++attempt) {
            const std::filesystem::path candidate =
                base / ("zul10-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
        }
#else
        char tmpl[] = "/tmp/zul10-test-XXXXXX";
        if (mkdtemp(tmpl) != nullptr) path_ = tmpl;
#endif
    }
    ~TemporaryDirectory() {
        if (path_.empty()) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    bool ok() const {
        return !path_.empty();
    }
    const std::filesystem::path& path() const {
        return path_;
    }
    // The path of name (UTF-8) in the directory, in UTF-8.
    std::string File(std::string_view name) const {
        return Utf8OfPath(path_ / PathFromUtf8(name));
    }
    // How many entries the directory holds.
    size_t Entries() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path_)) ++n;
        return n;
    }

private:
    std::filesystem::path path_;
};

// The bytes of the file at path (UTF-8); empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Replaces the file at path with bytes.
inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(PathFromUtf8(path), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace zul::test
