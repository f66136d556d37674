#include <windows.h>

#include <string>

#include "serial/FileStore.h"

namespace zul {

namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

// Writes content to a fresh file beside path, flushes it to the disk and
// moves it over path, so that path holds either its old or its new content,
// never a part. A read-only file is left as it is (the replace would
// otherwise go through where an open for writing is refused).
bool StoreFile(const std::string& path, std::string_view content) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    const std::string temporary = path + ".tmp." + std::to_string(GetCurrentProcessId());
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = WriteAll(file, content);
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExA(temporary.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileA(temporary.c_str());
    }
    return ok;
}

}  // namespace zul
