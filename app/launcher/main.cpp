// zul10-start.exe, what the Start-menu entry runs: makes the user's working
// folder %LOCALAPPDATA%\ZUL10 when it is missing and starts the zul10.exe
// beside it there, then ends. So every user who starts the program from the
// menu gets a folder of their own for the settings file, also one logged on
// while the setup ran or whose setup was elevated with another account.
// A window program (no console); it takes no arguments and passes none on.
// When the folder cannot be made or the program not started, a box says
// why, and it ends with 1; else with 0 at once.

#include <windows.h>

#include <string>

#include "app/launcher/WorkFolder.h"

namespace {

// This executable's folder, with a backslash at its end; empty when its path
// is longer than Windows' longest.
std::wstring OwnFolder() {
    std::wstring path(32768, L'\0');
    const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (size == 0 || size >= path.size()) return {};
    path.resize(size);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

int Refuse(const std::wstring& what, unsigned long error) {
    const std::wstring text = what + L"\n\n" + zul::launcher::ErrorText(error);
    MessageBoxW(nullptr, text.c_str(), L"ZUL10", MB_OK | MB_ICONSTOP);
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    unsigned long error = 0;
    const std::wstring base = zul::launcher::LocalAppData(error);
    if (base.empty()) return Refuse(L"The user's local application data folder is unknown.", error);
    const std::wstring folder = zul::launcher::WorkFolderIn(base);
    error = zul::launcher::MakeFolder(folder);
    if (error != 0) return Refuse(L"The working folder " + folder + L" cannot be made.", error);

    const std::wstring own = OwnFolder();
    if (own.empty())
        return Refuse(L"The launcher's own folder is unknown.", ERROR_FILENAME_EXCED_RANGE);
    const std::wstring program = own + L"zul10.exe";
    error = zul::launcher::StartIn(program, folder);
    if (error != 0) return Refuse(L"The program " + program + L" cannot be started.", error);
    return 0;
}
