#include <windows.h>

#include <string>

#include "records/ForwardLauncher.h"
#include "serial/Utf8.h"

namespace zul::records {

namespace {

// One argument of a command line as the C runtime of the started program
// splits it again ("Parsing C command-line arguments" in the C runtime's
// documentation): in quotes, a quote after n backslashes written as 2n+1
// backslashes and the quote, n backslashes before the closing quote as 2n.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

}  // namespace

ForwardLauncher::ForwardLauncher(std::filesystem::path program) : program_(std::move(program)) {}

ForwardLauncher::~ForwardLauncher() = default;

void ForwardLauncher::Reap() {}

size_t ForwardLauncher::Unreaped() {
    return 0;
}

int64_t ForwardLauncher::Start(const std::string& spool, const std::string& folder,
                               std::string& error) {
    if (program_.empty()) {
        error = "no zul10-records program";
        return -1;
    }
    const std::wstring program = program_.wstring();
    std::wstring command = Quoted(program) + L" forward --spool " + Quoted(Wide(spool));
    if (!folder.empty()) command += L" --to " + Quoted(Wide(folder));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // No console of its own (DETACHED_PROCESS), no window, out of the
    // program's Ctrl+C group; no handle of the program's inherited.
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr,
                        nullptr, &startup, &started)) {
        error = Utf8OfPath(program_) + " cannot be started (error " +
                std::to_string(GetLastError()) + ")";
        return -1;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return started.dwProcessId;
}

std::filesystem::path ProgramBeside(const std::string& name) {
    std::wstring path(32768, L'\0');
    const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (size == 0 || size >= path.size()) return {};
    path.resize(size);
    return std::filesystem::path(path).parent_path() / (name + ".exe");
}

}  // namespace zul::records
