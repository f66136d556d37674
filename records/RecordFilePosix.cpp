#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "records/RecordFile.h"

namespace zul::records {

namespace {

// What an entry of mode is, when it is no regular file.
const char* KindOf(mode_t mode) {
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

RecordFile::~RecordFile() {
    Close();
}

void RecordFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

RecordFile::Opened RecordFile::Open(const std::filesystem::path& path, std::string& why) {
    Close();
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0) {
        why = std::strerror(errno);
        return Opened::Failed;
    }
    if (!S_ISREG(entry.st_mode)) {
        why = KindOf(entry.st_mode);
        return Opened::NotRegular;
    }
    // O_NONBLOCK: a FIFO swapped in after the look above does not block the
    // open (open(2): "O_NONBLOCK ... the open succeeds immediately" for a
    // FIFO opened for reading); O_NOFOLLOW: a link swapped in fails with
    // ELOOP.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ELOOP ? "a symbolic link" : std::strerror(errno);
        return errno == ELOOP ? Opened::NotRegular : Opened::Failed;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        why = KindOf(opened.st_mode);
        ::close(fd);
        return Opened::NotRegular;
    }
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fd_ = fd;
    return Opened::Ok;
}

long long RecordFile::Read(char* buffer, std::size_t size, std::string& why) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        why = std::strerror(errno);
        return -1;
    }
}

}  // namespace zul::records
