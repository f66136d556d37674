#include "records/RecordFile.h"

#include <algorithm>

#include "records/FolderName.h"
#include "serial/FileStore.h"

namespace zul::records {

namespace {

// The pause between two tries of a lock another writer holds.
constexpr uint32_t kLockPauseMs = 1;

}  // namespace

RecordFile::RecordFile(DiskSync& sync, Clock& clock) : sync_(sync), clock_(clock) {}

RecordFile::~RecordFile() {
    Close();
}

RecordFile::Opened RecordFile::Keep(const std::string& path, bool made) {
    path_ = path;
    created_ = made;
    folderOwed_ = made;
    return Opened::kOpened;
}

RecordFile::Opened RecordFile::LockWithin(int waitMs, std::string& error) {
    const uint64_t wait = waitMs > 0 ? static_cast<uint64_t>(waitMs) : 0;
    switch (RetryFor(clock_, wait, kLockPauseMs, [&] { return TryLock(error); })) {
        case Tried::kDone:
            return Opened::kOpened;
        case Tried::kFailed:
            error = "cannot be locked (" + error + ")";
            return Opened::kFailed;
        case Tried::kAgain:
            break;
    }
    error = "locked by another writer";
    return Opened::kLockHeld;
}

bool RecordFile::ReadAt(uint64_t offset, size_t max, std::string& bytes, std::string& error) const {
    // No more room than the file holds now, and a byte to see it grow.
    const int64_t size = Size();
    if (size >= 0) {
        const uint64_t left =
            static_cast<uint64_t>(size) > offset ? static_cast<uint64_t>(size) - offset : 0;
        max = static_cast<size_t>(std::min<uint64_t>(max, left + 1));
    }
    bytes.resize(max);
    size_t got = 0;
    while (got < max) {
        const int64_t n = ReadSome(offset + got, bytes.data() + got, max - got, error);
        if (n < 0) {
            error = "cannot be read (" + error + ")";
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return true;
}

bool RecordFile::ReadAll(size_t max, std::string& bytes, std::string& error) const {
    if (Size() < 0) {
        error = "cannot be read (" + LastSystemError() + ")";
        return false;
    }
    // One byte more than allowed: a file that grew past it is told.
    if (!ReadAt(0, max + 1, bytes, error)) return false;
    if (bytes.size() > max) {
        error = "larger than " + std::to_string(max) + " bytes";
        return false;
    }
    return true;
}

bool RecordFile::Append(std::string_view text, std::string& error) {
    if (!IsOpen()) {
        error = "not open";
        return false;
    }
    // A newline of its own after a cut-off line, in the same write.
    std::string bytes, last;
    const int64_t size = Size();
    if (size > 0 && ReadAt(static_cast<uint64_t>(size - 1), 1, last, error) && last != "\n") {
        bytes += '\n';
    }
    bytes += text;
    return WriteAtEnd(bytes, error) && Sync(error);
}

bool RecordFile::Sync(std::string& error) {
    if (!IsOpen() || !sync_.SyncFile(handle_)) {
        error = "cannot be synced to the disk (" + LastSystemError() + ")";
        return false;
    }
    // A new file's name is in the folder's own data.
    if (folderOwed_) {
        if (!sync_.SyncFolder(FolderOfPath(path_))) {
            error = "its folder cannot be synced to the disk (" + LastSystemError() + ")";
            return false;
        }
        folderOwed_ = false;
    }
    return true;
}

}  // namespace zul::records
