#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace zul::records {

// A record file opened for reading, only when it is a regular file: the
// report must never follow a link, block on a FIFO or read a device that a
// hostile entry in a shared folder puts in a record file's place. Each
// platform has its own source (RecordFilePosix.cpp, RecordFileWin32.cpp).
class RecordFile {
public:
    enum class Opened {
        Ok,          // a regular file, open for reading
        NotRegular,  // a link, FIFO, device, folder or socket: why names it
        Failed,      // a regular file that cannot be opened: why tells the reason
    };

    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Opens path for reading. The entry is examined without following a
    // link, opened without following one and without waiting (POSIX:
    // O_NOFOLLOW and O_NONBLOCK; Windows: the reparse point itself), and
    // checked again on the open file, so an entry swapped in between is
    // caught. why: "a symbolic link", "a FIFO", "a device", "a folder", or
    // the system's reason.
    Opened Open(const std::filesystem::path& path, std::string& why);

    // Reads up to size bytes into buffer: the count, 0 at the end of the
    // file, or -1 with why set on a read error.
    long long Read(char* buffer, std::size_t size, std::string& why);

private:
    void Close();
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace zul::records
