#pragma once

#include <span>
#include <string>

#include "records/Destination.h"
#include "records/DiskSync.h"

namespace zul::records {

// A records folder (usually a share) as a destination. Each station writes
// only files of its own, FOLDER/zul10-YYYY-MM-DD-STATION.jsonl (the local date
// of the runs' start; the station's name with every character outside
// A-Z a-z 0-9 . _ - written as %XX), so no lock across hosts is needed; each
// file is still locked for its append, as two accounts of one station may
// deliver at once. Before appending, the run ids the file already holds are
// read (one station's day is small), and only the records missing from it
// are appended, after a newline of its own when the file ends in a cut-off
// line; then the file is synced (and the folder, for a new file).
//
// The folder itself is never made: a missing folder is a share that is not
// there (not mounted), and a folder made in its place would hide the records
// once it is.
class FolderDestination final : public Destination {
public:
    // folder: the records folder; sync: not owned, must outlive this.
    explicit FolderDestination(std::string folder, DiskSync& sync = RealDiskSync());

    // The file of a station's day in the folder, without the folder.
    static std::string FileName(const std::string& date, const std::string& station);

    std::string Name() const override;
    std::string Key() const override;
    bool Deliver(std::span<const SpooledRecord> records, std::string& error) override;

    // How long the lock of a station's day file is waited for.
    static constexpr int kLockWaitMs = 10000;

private:
    std::string folder_;
    DiskSync& sync_;
};

}  // namespace zul::records
