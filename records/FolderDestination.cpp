#include "records/FolderDestination.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "records/FolderName.h"
#include "records/RecordFile.h"

namespace zul::records {

namespace {

// One station's day file is read whole for its run ids; far more than a
// day of runs.
constexpr size_t kMaxDayFileBytes = 256 * 1024 * 1024;

// The run ids of the whole records in text: each line that ends in a newline
// and is a JSON object with a "run_id". A cut-off line names no run.
std::set<std::string> RunIdsIn(const std::string& text) {
    std::set<std::string> ids;
    for (size_t at = 0;;) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        const nlohmann::json record =
            nlohmann::json::parse(text.begin() + static_cast<std::ptrdiff_t>(at),
                                  text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
        at = end + 1;
        if (!record.is_object()) continue;
        const auto id = record.find("run_id");
        if (id != record.end() && id->is_string()) ids.insert(id->get<std::string>());
    }
    return ids;
}

}  // namespace

FolderDestination::FolderDestination(std::string folder, DiskSync& sync) : sync_(sync) {
    // One key for "records", "./records/" and the absolute path: the program
    // and a forward from a timer may name the folder each its own way. Made
    // from the words alone, nothing on the share is looked at.
    folder_ = AbsoluteFolder(folder);
    while (folder_.size() > 1 && (folder_.back() == '/' || folder_.back() == '\\') &&
           folder_[folder_.size() - 2] != ':') {
        folder_.pop_back();
    }
}

std::string FolderDestination::FileName(const std::string& date, const std::string& station) {
    std::string name = "zul10-" + date + "-";
    for (const char c : station) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (plain) {
            name += c;
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            name += code;
        }
    }
    return name + ".jsonl";
}

std::string FolderDestination::Name() const {
    return "the records folder " + folder_;
}

std::string FolderDestination::Key() const {
    return "folder " + folder_;
}

bool FolderDestination::Deliver(std::span<const SpooledRecord> records, std::string& error) {
    std::string why;
    if (!IsFolder(folder_, why)) {
        error = "the folder cannot be reached (" + why + ")";
        return false;
    }
    // The records of each station's day, in their order.
    std::vector<std::pair<std::string, std::vector<const SpooledRecord*>>> files;
    for (const SpooledRecord& record : records) {
        const std::string name = FileName(record.date, record.station);
        auto file = files.begin();
        while (file != files.end() && file->first != name) ++file;
        if (file == files.end()) file = files.insert(files.end(), {name, {}});
        file->second.push_back(&record);
    }
    for (const auto& [name, batch] : files) {
        const std::string path = JoinPath(folder_, name);
        RecordFile file(sync_);
        if (file.Open(path, RecordFile::Access::kAppend, kLockWaitMs, why) !=
            RecordFile::Opened::kOpened) {
            error = path + ": " + why;
            return false;
        }
        std::string content;
        if (!file.ReadAll(kMaxDayFileBytes, content, why)) {
            error = path + ": " + why;
            return false;
        }
        std::set<std::string> present = RunIdsIn(content);
        std::string text;
        for (const SpooledRecord* record : batch) {
            if (present.insert(record->runId).second) text += record->line + "\n";
        }
        // Nothing missing: what an earlier delivery wrote is synced still,
        // with the folder, as that delivery may have been cut off before
        // either (or failed at the folder's).
        if (text.empty()) file.SyncFolderToo();
        if (!(text.empty() ? file.Sync(why) : file.Append(text, why))) {
            error = path + ": " + why;
            return false;
        }
    }
    return true;
}

}  // namespace zul::records
