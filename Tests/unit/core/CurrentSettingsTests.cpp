// The settings in force are read once, not per request: the file changing underneath is seen
// only when the palette loads again, and only a save that worked replaces them.
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "ScopedHome.hpp"
#include "TempFolder.hpp"
#include "core/CurrentSettings.hpp"

TEST(CurrentSettingsTest, ReadOnceThenOnlyWhatThePaletteLoadsOrSaves)
{
    ScopedHome home;
    const std::string dir = home.Path() + "/.quillmere";
    const auto onDisk = [dir](const char* model) {
        std::filesystem::create_directories(dir);
        TempFolder::Write(dir + "/settings.json", std::string("{\"model\": \"") + model + "\"}");
    };
    const auto saved = [](const char* model, bool works) {
        Settings settings;
        settings.model = model;
        EXPECT_EQ(CurrentSettings::Save(settings), works) << model;
    };
    const struct {
        const char* name;
        std::function<void()> step;
        const char* model;  // what a service sees afterwards
    } rows[] = {
        {"the first reader loads the file", [&] { onDisk("first"); }, "first"},
        {"a file changed underneath is not reread", [&] { onDisk("edited"); }, "first"},
        {"the palette's load reads it again", [] { CurrentSettings::Load(); }, "edited"},
        {"a save makes its settings current", [&] { saved("saved", true); }, "saved"},
        {"a failed save keeps those in force",
         [&] {
             std::filesystem::remove_all(dir);
             TempFolder::Write(dir, "a file where the folder belongs");
             saved("unsaved", false);
         },
         "saved"},
    };
    for (const auto& row : rows) {
        row.step();
        EXPECT_EQ(CurrentSettings::Get().model, row.model) << row.name;
    }
}
