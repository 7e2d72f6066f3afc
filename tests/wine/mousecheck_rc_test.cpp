// The programs' resources: each one's version resource and its manifest, read from the exe named
// by its variable (MOUSECHECK_EXE, MOUSECHECK_SUMMARY_EXE: the release's exes), which is loaded as
// data and never run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor_process.h"
#include "version.h"

namespace {

// What one program's resource says of it.
struct Program {
    const char* variable;  // the environment variable naming its exe
    const char* fallback;
    const char* description;
    const char* internalName;
    const char* originalFilename;
};

const Program kPrograms[] = {
    {"MOUSECHECK_EXE", "mousecheck.exe", "Mouse button and wheel diagnostic", "mousecheck", "mousecheck.exe"},
    {"MOUSECHECK_SUMMARY_EXE", "mousecheck-summary.exe", "Verdict on a mousecheck log", "mousecheck-summary",
     "mousecheck-summary.exe"},
};

class MousecheckRc : public testing::TestWithParam<Program> {
protected:
    void SetUp() override { path = ProgramPath(GetParam().variable, GetParam().fallback); }

    // Returns a string of the version resource's U.S. English, Unicode block.
    std::string VersionString(const std::vector<char>& info, const char* name) const {
        const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
        char* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
            return "(missing)";
        }
        return value;
    }

    std::string path;
};

TEST_P(MousecheckRc, CarriesTheProjectVersion) {
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u) << path << " has no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD versionMs = MAKELONG(MOUSECHECK_VERSION_MINOR, MOUSECHECK_VERSION_MAJOR);
    const DWORD versionLs = MAKELONG(0, MOUSECHECK_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, versionMs);
    EXPECT_EQ(fixed->dwFileVersionLS, versionLs);
    EXPECT_EQ(fixed->dwProductVersionMS, versionMs);
    EXPECT_EQ(fixed->dwProductVersionLS, versionLs);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(VersionString(info, "FileVersion"), MOUSECHECK_VERSION);
    EXPECT_EQ(VersionString(info, "ProductVersion"), MOUSECHECK_VERSION);
    EXPECT_EQ(VersionString(info, "FileDescription"), GetParam().description);
    EXPECT_EQ(VersionString(info, "ProductName"), "mousecheck");
    EXPECT_EQ(VersionString(info, "InternalName"), GetParam().internalName);
    EXPECT_EQ(VersionString(info, "OriginalFilename"), GetParam().originalFilename);
    EXPECT_EQ(VersionString(info, "LegalCopyright"), "Copyright (c) 2026 the mousecheck authors");
}

TEST_P(MousecheckRc, KeepsItsManifest) {
    const HMODULE image = LoadLibraryExA(path.c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr) << path;
    const HRSRC found = FindResourceA(image, CREATEPROCESS_MANIFEST_RESOURCE_ID,
                                      MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr) << "no manifest with id 1";
    const auto* text = static_cast<const char*>(LockResource(LoadResource(image, found)));
    const std::string manifest(text, SizeofResource(image, found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
    FreeLibrary(image);
}

INSTANTIATE_TEST_SUITE_P(Programs, MousecheckRc, testing::ValuesIn(kPrograms),
                         [](const testing::TestParamInfo<Program>& program) {
                             return program.index == 0 ? std::string("monitor") : std::string("summary");
                         });

}  // namespace
