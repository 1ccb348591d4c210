// Reads k7_mon.dll's version resource with GetFileVersionInfo and
// VerQueryValue, as Windows' own tools do, and compares it with version_info.h.
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "version_info.h"

namespace {

std::vector<char> versionResource() {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(K7_MON_LIBRARY, &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoA(K7_MON_LIBRARY, 0, size, data.data())) data.clear();
    return data;
}

TEST(k7_mon_version, strings_match_the_version_information) {
    std::vector<char> data = versionResource();
    ASSERT_FALSE(data.empty()) << "no version resource, error " << GetLastError();
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"FileDescription", K7_MON_FILE_DESCRIPTION}, {"Comments", K7_MON_COMMENTS},
        {"InternalName", K7_MON_INTERNAL_NAME},       {"OriginalFilename", K7_MON_ORIGINAL_FILENAME},
        {"FileVersion", K7_MON_VERSION_TEXT},         {"ProductVersion", K7_MON_VERSION_TEXT},
    };
    for (const auto& entry : cases) {
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + entry.name;
        char* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << key;
        EXPECT_STREQ(value, entry.expected) << key;
    }
    EXPECT_STREQ(K7_MON_FILE_DESCRIPTION, "K7 Bay Monitoring Switching");
    EXPECT_STREQ(K7_MON_VERSION_TEXT, "1, 0, 0, 1");
}

TEST(k7_mon_version, fixed_part_carries_the_same_numbers) {
    std::vector<char> data = versionResource();
    ASSERT_FALSE(data.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const DWORD expected[] = {K7_MON_VERSION};
    EXPECT_EQ(fixed->dwFileVersionMS, (expected[0] << 16) | expected[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, (expected[2] << 16) | expected[3]);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
