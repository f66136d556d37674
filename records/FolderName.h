#pragma once

#include <string>
#include <string_view>

namespace zul::records {

// Folder names as the records code joins and asks them, written once for
// both platforms (pure text; nothing is looked at). Names are UTF-8.

// The separator of this platform's names: '\' on Windows, '/' on POSIX.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// name inside folder: one separator between them, none added after a folder
// that ends in one ("C:\", "\\server\share\"), none after a bare Windows
// drive ("C:", which names that drive's current folder). An empty folder
// gives name alone (the current folder's).
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder of path: what stands before its last separator, with the
// separator kept where it is the root's ("/", "C:\", "\\server\share\");
// "." for a bare name.
std::string FolderOfPath(std::string_view path);

// Whether name is the root of a Windows share: "\\server\share" or
// "\\?\UNC\server\share", with or without separators after it, '/' taken as
// '\'. "\\server" alone, "\\server\share\sub", a drive ("C:\") and the
// device names ("\\.\COM1", "\\?\C:\") are not.
bool IsShareRoot(std::string_view name);

// The name by which Windows is asked about folder (GetFileAttributesW, the
// folder's own handle): a share's root with one backslash after it, the form
// its root folder answers to as a drive's does to "C:\" (the C runtime's
// _wstat64, behind std::filesystem, finds no "\\server\share" without it);
// any other name as it is.
std::string FolderQueryName(std::string_view folder);

}  // namespace zul::records
