// The folder handed to the panel: which path wins, and a folder name outside
// any ANSI code page that must reach the file system intact (run under Wine
// by the Windows builds too).
#include "platform/panel_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

namespace {

using zarn_host::panelFolder;

TEST(panel_folder, the_given_folder_then_the_facility_then_the_library) {
    const struct {
        std::optional<std::string> dir;
        const char* facility;
        const char* library;
        const char* folder;
    } cases[] = {
        {std::string("given"), "site/facility.json", "build/libk7.so", "given"},
        {std::string(""), "site/facility.json", "build/libk7.so", ""},
        {std::nullopt, "site/k7/facility.json", "build/libk7.so", "site/k7"},
        {std::nullopt, "", "build/panels/libk7.so", "build/panels"},
        {std::nullopt, "", "libk7.so", ""},
        {std::nullopt, "facility.json", "build/libk7.so", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(panelFolder(c.dir, c.facility, c.library), c.folder) << c.facility << " " << c.library;
    }
}

TEST(panel_folder, a_non_ascii_folder_stays_utf8_and_names_the_real_folder) {
    const std::string name = "k7 m\xc3\xb6n \xce\xa9 \xe6\x9c\x88";  // "k7 mön Ω 月"
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "zarn_panel_folder_test";
    const std::string rootText = root.u8string();
    const std::string facility = rootText + "/" + name + "/facility.json";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(rootText + "/" + name), ec);
    ASSERT_FALSE(ec) << ec.message();
    { std::ofstream(std::filesystem::u8path(facility)) << "{}"; }

    const std::string fromFacility = panelFolder(std::nullopt, facility, "build/k7_mon.dll");
    EXPECT_EQ(fromFacility, rootText + "/" + name);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(fromFacility) / "facility.json"));
    EXPECT_EQ(panelFolder(std::nullopt, "", name + "/k7_mon.dll"), name);
    EXPECT_EQ(panelFolder(name, facility, "k7_mon.dll"), name);

    std::filesystem::remove_all(root, ec);
}

}  // namespace
