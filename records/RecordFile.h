#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/DiskSync.h"
#include "serial/Clock.h"

namespace zul::records {

// One file of run records in a folder that others may write into (the
// spool, a shared records folder). Each platform has its own file (POSIX,
// Win32) for the opening, reading, writing and locking; what both need is
// in RecordFile.cpp. Paths are UTF-8 (serial/Utf8.h).
//
// Only a regular file is ever opened: a symbolic link (on Windows any
// reparse point), a FIFO, a device, a socket or a folder in its place is
// refused with the reason in words, and nothing is opened through it, read
// from it or waited on. A file this object makes is 0664 whatever the umask,
// so that another account of the folder's group can append to it; its group
// is the one the system gives (the folder's, in a set-group-ID folder), never
// changed afterwards. Windows files take the folder's inherited permissions.
//
// Opened for appending, the file is locked for its writer until it is closed:
// an open file description lock over the whole file on Linux (fcntl
// F_OFD_SETLK, which an NFS client passes to the server), LockFileEx on
// Windows. Every writer through this class takes it.
class RecordFile {
public:
    enum class Access { kRead, kAppend };
    enum class Opened {
        kOpened,
        kMissing,   // kRead only: there is no file of that name
        kLockHeld,  // kAppend only: another writer kept the lock past the wait
        kNotAFile,  // a link, FIFO, device, socket or folder in its place: error names it
        kFailed,    // error says why
    };

    // sync: the syncs Append and Sync make; clock: the lock wait's. Neither
    // is owned; both must outlive this.
    explicit RecordFile(DiskSync& sync = RealDiskSync(), Clock& clock = RealClock());
    ~RecordFile();  // closes the file, which gives the lock back
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // kRead: opens an existing file for reading, takes no lock. kAppend:
    // opens the file for reading and appending, made when missing, and takes
    // its lock, waiting at most lockWaitMs by the clock (0: not at all), plus
    // the last pause as the system makes it (a timer tick). A file removed or
    // replaced while the lock was waited for is opened again. Anything but
    // kOpened leaves the object closed, with the reason in words in error
    // ("a symbolic link, not a file"); a path is named by the caller.
    Opened Open(const std::string& path, Access access, int lockWaitMs, std::string& error);
    bool IsOpen() const { return handle_ != kClosed; }
    // Whether Open made the file.
    bool created() const { return created_; }

    // The file's size in bytes; -1 when the system does not tell.
    int64_t Size() const;
    // Reads at most max bytes from offset on into bytes (fewer at the end of
    // the file). False, with the reason in error, on a read error.
    bool ReadAt(uint64_t offset, size_t max, std::string& bytes, std::string& error) const;
    // Reads the whole file into bytes, at most max bytes; false with the
    // reason when it cannot be read or is larger.
    bool ReadAll(size_t max, std::string& bytes, std::string& error) const;
    // Reads at most size bytes at offset into buffer (one system call): how
    // many, 0 at the end of the file, -1 on an error (the reason in error).
    int64_t ReadSome(uint64_t offset, char* buffer, size_t size, std::string& error) const;

    // kAppend only: appends text at the end of the file in one write, after
    // a newline of its own when the file ends in a cut-off line (a writer
    // that died half way), then syncs the file, and the folder when Open made
    // the file. False, with the reason in error, when the write, a sync or
    // the lock failed: the text may then be partly in the file.
    bool Append(std::string_view text, std::string& error);
    // Syncs the file as Append does (for bytes another writer left unsynced).
    bool Sync(std::string& error);
    // Makes the next sync sync the folder too, as for a new file: for a file
    // whose folder sync failed before.
    void SyncFolderToo() { folderOwed_ = true; }

    // kAppend only: removes the file while its lock is held, so that a
    // writer waiting for the lock opens a new one. False with the reason.
    bool Remove(std::string& error);
    void Close();

private:
    // Writes bytes at the end of the open file, all of them (one call on
    // each platform's file). False, with the reason in error.
    bool WriteAtEnd(std::string_view bytes, std::string& error);
    // Keeps the file opened at path as this object's.
    Opened Keep(const std::string& path, bool made);
    // Takes the open file's lock, waiting at most waitMs for another
    // writer's to go (kOpened, kLockHeld, or kFailed with the reason).
    Opened LockWithin(int waitMs, std::string& error);
    // One try at the lock, without waiting (each platform's file): kAgain
    // while another writer holds it, kFailed with the reason in error.
    Tried TryLock(std::string& error);

    static constexpr intptr_t kClosed = -1;
    DiskSync& sync_;
    Clock& clock_;
    std::string path_;
    intptr_t handle_ = kClosed;  // a file descriptor, or a Windows HANDLE
    bool created_ = false;
    bool folderOwed_ = false;  // the folder is synced at the next sync
};

// Checks that files can be made in folder (which may be a link to a
// folder): it is a folder, and this user may write and enter it. Makes
// nothing. False with the reason in error.
bool CheckFolderWritable(const std::string& folder, std::string& error);

// Whether folder names an existing folder (through links); error gives the
// reason when it does not ("No such file or directory"). On Windows the
// system is asked by GetFileAttributesW, under FolderQueryName (a share's
// root is a folder, records/FolderName.h).
bool IsFolder(const std::string& folder, std::string& error);

// folder as an absolute name (against the current folder), without "." and
// ".." and with one separator between names; nothing is looked at. Windows:
// GetFullPathNameW, which knows a share's name ("\\server\share"), where
// std::filesystem of GCC 12 takes it for a folder "\server" of the current
// drive.
std::string AbsoluteFolder(const std::string& folder);

// Makes folder and every folder above it that is missing (never a drive or
// a share, which are there or not). True when folder is a folder in the end;
// false with the reason in error.
bool MakeFolders(const std::string& folder, std::string& error);

// One entry of a folder.
struct FolderEntry {
    std::string name;   // UTF-8, without the folder
    bool file = false;  // a regular file: no link (reparse point), folder or device
};
// The entries of folder in no order, without "." and "..". A share's root
// is listed as any folder. False, with the reason in error, when the folder
// cannot be read (entries then holds what was read).
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error);

}  // namespace zul::records
