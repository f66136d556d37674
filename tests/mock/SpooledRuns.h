#pragma once

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "records/DiskSync.h"
#include "serial/Utf8.h"

#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace zul::test {

// One record line as the program spools it (with its newline): run id on
// station, ended at end, with pad characters of padding in a field of its
// own to make it as long as a real one.
inline std::string RecordLine(const std::string& runId, const std::string& station = "BENCH-1",
                              const std::string& end = "2026-01-02T08:00:13.000+00:00",
                              size_t pad = 0) {
    const nlohmann::ordered_json record = {{"format", 2},
                                           {"program", "zul10"},
                                           {"run_id", runId},
                                           {"station", station},
                                           {"end", end},
                                           {"outcome", "complete"},
                                           {"pad", std::string(pad, 'x')}};
    return record.dump() + "\n";
}

// Appends text to the file at path, as another program would.
inline void AppendText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

// How often each run id stands in the whole records of the files in folder
// (UTF-8), as a reader counts them: each line ended by a newline that is a
// JSON object with a run id; cut-off lines left out.
inline std::map<std::string, int> RunIdCounts(const std::string& folder) {
    std::map<std::string, int> counts;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(folder), ec)) {
        if (entry.path().extension() != ".jsonl") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (in.eof()) break;  // no newline after it: cut off
            const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
            if (record.is_object() && record.contains("run_id")) {
                ++counts[record["run_id"].get<std::string>()];
            }
        }
    }
    return counts;
}

// The real syncs, counted, with each folder synced named; either may be made
// to fail (with EIO), as a disk that reports an error does.
class CountingSync final : public records::DiskSync {
public:
    bool SyncFile(intptr_t handle) override {
        ++files;
        if (failFiles) {
            errno = EIO;
            return false;
        }
        return records::RealDiskSync().SyncFile(handle);
    }
    bool SyncFolder(const std::string& folder) override {
        folders.push_back(folder);
        if (failFolders) {
            errno = EIO;
            return false;
        }
        return records::RealDiskSync().SyncFolder(folder);
    }

    int files = 0;
    std::vector<std::string> folders;
    bool failFiles = false;
    bool failFolders = false;
};

#ifndef _WIN32
// What may be planted in place of a file of records, and the word that
// names it when it is refused.
struct Planted {
    const char* kind;
    const char* named;
};
inline constexpr Planted kPlanted[] = {
    {"link to a file", "symbolic link"},
    {"FIFO", "FIFO"},
    {"link to /dev/zero", "symbolic link"},
    {"device", "device"},
};

// Puts kind at path; victim is the file a link leads to.
inline void Plant(const std::string& kind, const std::string& path, const std::string& victim) {
    if (kind == "link to a file") {
        std::filesystem::create_symlink(victim, path);
    } else if (kind == "FIFO") {
        ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    } else if (kind == "link to /dev/zero") {
        std::filesystem::create_symlink("/dev/zero", path);
    } else if (geteuid() == 0) {  // as in CI: a node of its own, /dev/null's numbers
        ASSERT_EQ(mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    } else {
        std::filesystem::create_symlink("/dev/null", path);
    }
}

#endif

}  // namespace zul::test
