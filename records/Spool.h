#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "records/DiskSync.h"
#include "records/SpooledRecord.h"

namespace zul::records {

// The spool: a folder on the bench's own disk where each run's record is
// first appended, one file per local date of the run's start,
// FOLDER/zul10-YYYY-MM-DD.jsonl (the format of records/RecordFormat.h), from
// where zul10-records forward delivers it. Beside the day files it keeps, for
// each and each destination, how many of its bytes were delivered
// (zul10-YYYY-MM-DD.jsonl.delivered, stored whole or not at all), the lock
// file that lets one forward run at a time (forward.lock) and the forward's
// log (forward.log).
//
// The program appends from the window's thread, so everything here is on the
// local disk: no network path, no lock another host can hold.
class Spool {
public:
    // folder: the spool's folder, made when the first record comes; sync: the
    // syncs of its appends, not owned.
    explicit Spool(std::string folder, DiskSync& sync = RealDiskSync());

    // This user's spool: $XDG_STATE_HOME/zul10/records, else
    // $HOME/.local/state/zul10/records on Linux; %LOCALAPPDATA%\ZUL10\records
    // on Windows. Empty when the environment names no such place.
    static std::string DefaultFolder();

    const std::string& folder() const { return folder_; }
    // The day file of a date ("YYYY-MM-DD").
    std::string FileOf(const std::string& date) const;
    std::string LockPath() const;
    std::string LogPath() const;

    // Makes the folder when missing and checks that files can be made in it,
    // and that the day file of date, if it is there, is a regular file.
    // Makes no file. False, with the reason in error.
    bool CheckFolder(const std::string& date, std::string& error) const;

    // Appends one record (text that ends in a newline) to the day file of
    // date: the folder made when missing, under the file's lock (waited for
    // at most 2 s), in one write, the file synced, and the folder synced when
    // the file is new (or always, with syncFolder: a record tried again after
    // a failure may have made the file), all before it returns. False, with
    // the reason in error (a symbolic link, a FIFO or a device in the file's
    // place is named and nothing is written through it).
    bool Append(const std::string& date, std::string_view record, std::string& error,
                bool syncFolder = false) const;

    // A day file found in the folder.
    struct DayFile {
        std::string path;
        std::string date;
    };
    // The day files in date order. An entry named like one that is no
    // regular file goes to refused instead, as "PATH: why".
    std::vector<DayFile> Files(std::vector<std::string>& refused) const;

    // What ReadPending found from an offset on.
    struct Pending {
        uint64_t start = 0;  // where it read from (0 when the file is shorter than asked)
        uint64_t end = 0;    // just after the last whole line read; start when none
        std::vector<SpooledRecord> records;
        std::vector<uint64_t> badLines;  // offsets of lines that are no record, left out
    };
    // Reads the whole lines of file from offset from on, about maxBytes of
    // them (a longer line is passed over as a bad one). A line without its
    // newline (being written, or cut off) is left for later. False, with the
    // reason in error, when the file cannot be read.
    bool ReadPending(const DayFile& file, uint64_t from, size_t maxBytes, Pending& pending,
                     std::string& error) const;

    // How many bytes of file were delivered to destination (a Destination's
    // key); 0 when none or not known.
    uint64_t Delivered(const std::string& file, const std::string& destination) const;
    // Stores that offset for file and destination, whole or not at all. False
    // when it cannot be stored.
    bool SetDelivered(const std::string& file, const std::string& destination,
                      uint64_t offset) const;

    // What waits for a destination.
    struct Waiting {
        int records = 0;      // records not yet delivered
        int endedBefore = 0;  // of them, those of runs that ended before the moment asked
        uint64_t bytes = 0;   // the bytes of whole lines not yet delivered
    };
    Waiting CountWaiting(const std::string& destination,
                         std::chrono::system_clock::time_point before) const;

    // Removes each day file that every one of destinations (their keys) has
    // whole and that was last written before `before` (never today's), with
    // its bookkeeping. Returns how many were removed.
    int RemoveDelivered(const std::vector<std::string>& destinations,
                        std::filesystem::file_time_type before) const;

    // How long a delivered day file is kept.
    static constexpr int kKeepDays = 30;

private:
    std::string BookkeepingOf(const std::string& file) const;

    std::string folder_;
    DiskSync& sync_;
};

}  // namespace zul::records
