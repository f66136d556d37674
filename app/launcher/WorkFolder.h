#pragma once

#include <string>

// The Start-menu entry's launcher (zul10-start.exe, Windows only): the
// program keeps its settings file in its current folder, so the entry starts
// it in the user's own %LOCALAPPDATA%\ZUL10, made here when it is missing.
// Every path is UTF-16, through the wide Win32 calls.
namespace zul::launcher {

// The name of the working folder inside the user's local application data.
inline constexpr wchar_t kWorkFolderName[] = L"ZUL10";

// base\ZUL10 (one backslash between, whether base ends in one or not).
std::wstring WorkFolderIn(const std::wstring& base);

// The user's local application data folder (FOLDERID_LocalAppData, made by
// the shell when missing). Returns an empty string when the shell gives none,
// with its Win32 error code in error.
std::wstring LocalAppData(unsigned long& error);

// Makes folder (one level: its parent must be there). Returns 0 when folder
// is a folder afterwards, made now or there before; ERROR_DIRECTORY when
// something that is not a folder (a file) has its name; else the error of
// CreateDirectoryW.
unsigned long MakeFolder(const std::wstring& folder);

// Starts program with no arguments in the working folder folder, and lets it
// run on: its handles are closed at once and nothing is inherited. Returns 0
// when it started, else the error of CreateProcessW.
unsigned long StartIn(const std::wstring& program, const std::wstring& folder);

// The system's text for a Win32 error code, without the line break it ends
// in; "error N" when the system has none.
std::wstring ErrorText(unsigned long error);

}  // namespace zul::launcher
