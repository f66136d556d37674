#include <windows.h>

#include <mutex>
#include <set>

#include "app/SingleInstance.h"

namespace zul {

bool AcquireSingleInstance(const std::string& name) {
    // The names this process holds; their handles are never closed.
    static std::mutex guard;
    static std::set<std::string> held;
    const std::lock_guard<std::mutex> lock(guard);

    if (held.count(name) != 0) {
        return true;
    }
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Access denied: the mutex exists under another user's rights, so
        // another copy runs. Any other failure: stand aside.
        return error != ERROR_ACCESS_DENIED;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    held.insert(name);
    return true;  // the handle stays open until the process ends
}

}  // namespace zul
