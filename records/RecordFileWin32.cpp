#include <windows.h>

#include "records/RecordFile.h"

namespace zul::records {

namespace {

std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : "";
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

RecordFile::~RecordFile() {
    Close();
}

void RecordFile::Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
}

RecordFile::Opened RecordFile::Open(const std::filesystem::path& path, std::string& why) {
    Close();
    // What the entry itself is (GetFileAttributesW does not follow a
    // link). A device reached through a path gives no attributes: the
    // opened handle's type tells below.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        why = "a symbolic link";
        return Opened::NotRegular;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        why = "a folder";
        return Opened::NotRegular;
    }
    // The reparse point itself, never its target (CreateFileW:
    // FILE_FLAG_OPEN_REPARSE_POINT); others may go on appending and renaming.
    HANDLE handle = CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = SystemMessage(GetLastError());
        return Opened::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        why = type == FILE_TYPE_CHAR                                        ? "a device"
              : type == FILE_TYPE_PIPE                                      ? "a pipe"
              : (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? "a symbolic link"
                                                                            : "not a regular file";
        CloseHandle(handle);
        return Opened::NotRegular;
    }
    handle_ = handle;
    return Opened::Ok;
}

long long RecordFile::Read(char* buffer, std::size_t size, std::string& why) {
    DWORD got = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(handle_, buffer, want, &got, nullptr)) {
        why = SystemMessage(GetLastError());
        return -1;
    }
    return got;
}

}  // namespace zul::records
