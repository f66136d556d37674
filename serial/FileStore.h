#pragma once

#include <string>
#include <string_view>

namespace zul {

// Rewrites the file at path with content, so that a reader beside it finds
// either the old or the new whole content. Each platform has its own file
// (POSIX, Win32). Returns false when the file cannot be written; the file is
// then left as it was.
bool StoreFile(const std::string& path, std::string_view content);

}  // namespace zul
