#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zul {

// Rewrites the file at path with content, so that a reader beside it finds
// either the old or the new whole content. Each platform has its own file
// (POSIX, Win32). The file keeps its mode, owner and group; where a fresh
// file cannot have them, or cannot be made beside it, the file is rewritten
// in place, and a writer killed half way then leaves content followed by
// blanks (past the first 4 KiB, by what stood there). Returns false when the file cannot be
// written; the file is then left as it was. So it is when path names anything but a regular file (a
// folder, a pipe, a device), a link loop, or a link that another user may
// have planted in a folder shared by all (which the system would not follow
// either): nothing is opened, written or replaced.
bool StoreFile(const std::string& path, std::string_view content);

// Opens the file at path for reading in binary, or gives nullptr when it is
// missing or is not a regular file (a folder, a pipe, a device, which are
// never waited on). A rewrite in place by StoreFile is never seen half done.
// The caller closes the file with std::fclose.
std::FILE* OpenStoredFile(const std::string& path);

}  // namespace zul
