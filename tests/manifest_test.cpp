// The application manifest of the Windows programs: in the resources of
// each built .exe as the system reads it at the start (type RT_MANIFEST, id
// 1), with UTF-8 as the code page, long paths and Windows 10 and 11; and
// taken by the system's loader (this suite carries the same manifest, and a
// manifest the loader rejects would keep the program from starting at all).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "serial/Utf8.h"

#ifndef ZUL10_RECORDS_BINARY
#error "ZUL10_RECORDS_BINARY must name the built zul10-records"
#endif

namespace zul {
namespace {

// The manifest in the resources of the program at path (a Windows path),
// type 24 (RT_MANIFEST, here in its wide form) and id 1;
// empty when it has none.
std::string ManifestOf(const std::string& path) {
    const HMODULE module = LoadLibraryExW(
        Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return {};
    std::string text;
    if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const HGLOBAL loaded = LoadResource(module, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes != nullptr) text.assign(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

TEST(Manifest, EachProgramCarriesItsManifest) {
    // The suites run under Wine, where drive Z: is the build machine's root.
    std::vector<std::string> programs{std::string("Z:") + ZUL10_RECORDS_BINARY};
#ifdef ZUL10_PROGRAM_BINARY
    programs.push_back(std::string("Z:") + ZUL10_PROGRAM_BINARY);
#endif
    for (const std::string& program : programs) {
        const std::string manifest = ManifestOf(program);
        ASSERT_FALSE(manifest.empty()) << program;
        for (const char* part : {
                 "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">"
                 "UTF-8</activeCodePage>",
                 "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                 "true</longPathAware>",
                 // Windows 10 and Windows 11 have this one id.
                 "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
                 "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
             }) {
            EXPECT_NE(manifest.find(part), std::string::npos) << program << " lacks " << part;
        }
    }
}

TEST(Manifest, TheLoaderTakesItAndTheCodePageIsUtf8) {
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

}  // namespace
}  // namespace zul
