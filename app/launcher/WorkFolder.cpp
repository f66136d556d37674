#include "app/launcher/WorkFolder.h"

#include <shlobj.h>
#include <windows.h>

namespace zul::launcher {

std::wstring WorkFolderIn(const std::wstring& base) {
    std::wstring folder = base;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + kWorkFolderName;
}

std::wstring LocalAppData(unsigned long& error) {
    PWSTR path = nullptr;
    const HRESULT result =
        SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path);
    std::wstring folder;
    if (SUCCEEDED(result) && path != nullptr) {
        folder = path;
        error = 0;
    } else {
        // A failed HRESULT of a Win32 error carries its code in the low word.
        error = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                           : ERROR_PATH_NOT_FOUND;
    }
    CoTaskMemFree(path);  // also when the call failed (its documentation asks it)
    return folder;
}

unsigned long MakeFolder(const std::wstring& folder) {
    if (CreateDirectoryW(folder.c_str(), nullptr)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return error;
    // Something has the name: it serves only when it is a folder (a link to
    // one counts, as the shell and the program would follow it too).
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
}

unsigned long StartIn(const std::wstring& program, const std::wstring& folder) {
    // The command line is the program's name alone, quoted: it takes no
    // arguments. CreateProcessW may write into it, so it is a copy.
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &started)) {
        return GetLastError();
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}

std::wstring ErrorText(unsigned long error) {
    PWSTR buffer = nullptr;
    const DWORD size = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<PWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (size != 0 && buffer != nullptr) text.assign(buffer, size);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? L"error " + std::to_wstring(error) : text;
}

}  // namespace zul::launcher
