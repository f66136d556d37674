#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "mock/TemporaryDirectory.h"

namespace zul::test {

// Makes a fresh temporary directory the current one for the lifetime of the
// object, so that files named relative to it (the settings file) land there.
class ScratchDirectory {
public:
    ScratchDirectory() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir_.path());
    }
    ~ScratchDirectory() { std::filesystem::current_path(previous_); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string path() const { return dir_.path().string(); }

    // The bytes of a file in the directory, or nothing when it does not exist.
    std::optional<std::string> Read(const std::string& name) const {
        std::ifstream in(dir_.File(name), std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    void Write(const std::string& name, const std::string& bytes) const {
        WriteFile(dir_.File(name), bytes);
    }

private:
    TemporaryDirectory dir_;
    std::filesystem::path previous_;
};

}  // namespace zul::test
