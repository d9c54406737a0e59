// Settings on disk: a private, indented file written whole; what cannot be read keeps its
// defaults, and a corrupt file is kept beside before it is replaced.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "ScopedHome.hpp"
#include "TempFolder.hpp"
#include "core/Settings.hpp"

namespace fs = std::filesystem;

namespace {

fs::perms Mode(const std::string& path) { return fs::status(path).permissions() & fs::perms::all; }
const auto ReadFile = TempFolder::Read;
const auto WriteFile = TempFolder::Write;

const Settings kCustom{"openai", "gpt-4o", "sk-ant-1", "sk-oa-2", "https://proxy.example.invalid",
                       512,      900,      true,       "token-3", "user@example.invalid"};
const fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;

// Each test gets its own home folder.
class SettingsTest : public ::testing::Test {
protected:
    ScopedHome scoped;
    const std::string home = scoped.Path(), dir = home + "/.quillmere", path = dir + "/settings.json";
    std::vector<std::string> Files(const std::string& in) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(in)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

TEST_F(SettingsTest, RoundTripWritesAPrivateIndentedFileAndReadsWhatItCan)
{
    EXPECT_EQ(Settings::FilePath(), path);
    Settings::LoadStatus status = Settings::LoadStatus::Loaded;
    EXPECT_EQ(Settings::Load(&status).ToJson(), Settings{}.ToJson());
    EXPECT_EQ(status, Settings::LoadStatus::Missing);
    EXPECT_TRUE(Files(home).empty()) << "loading must not create anything";

    std::string error;
    ASSERT_TRUE(kCustom.Save(&error)) << error;
    const Settings loaded = Settings::Load(&status);
    EXPECT_EQ(status, Settings::LoadStatus::Loaded);
    EXPECT_EQ(loaded.ToJson(), kCustom.ToJson());
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("\n  \"anthropic_api_key\": \"sk-ant-1\""), std::string::npos) << text;
    EXPECT_EQ(Mode(path), kPrivate);
    EXPECT_EQ(Files(dir), (std::vector<std::string>{"settings.json"})) << "a temporary file was left behind";
    EXPECT_FALSE(Settings{}.ToJson().contains("service_url")) << "files of users who never set it stay as they were";
    Settings withService = kCustom;
    withService.serviceUrl = "http://127.0.0.1:9";
    ASSERT_TRUE(withService.Save());
    EXPECT_EQ(Settings::Load().ToJson(), withService.ToJson());

    // Saving over a file others can read makes it private again.
    fs::permissions(path, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    ASSERT_TRUE(Settings{}.Save());
    EXPECT_EQ(Mode(path), kPrivate);
    EXPECT_EQ(Settings::Load().model, Settings{}.model);

    // Members that are missing or of the wrong type keep their defaults.
    WriteFile(path, R"({"provider":"openai","model":5,"window_width":"wide","window_height":1e12,
                          "dark_mode":"yes","anthropic_api_key":null,"user_email":"a@b.invalid","service_url":42})");
    Settings expected;
    expected.provider = "openai";
    expected.userEmail = "a@b.invalid";
    EXPECT_EQ(Settings::Load().ToJson(), expected.ToJson());

    WriteFile(home + "/not-a-folder", "x");
    EXPECT_FALSE(kCustom.SaveTo(home + "/not-a-folder/settings.json", &error));
    EXPECT_FALSE(error.empty()) << "an unwritable place fails with a reason";
}

TEST_F(SettingsTest, CorruptFileIsKeptBesideBeforeTheNextSave)
{
    ASSERT_TRUE(fs::create_directory(dir));
    const std::string broken = "{\"anthropic_api_key\": \"sk-typed-by-hand\",, }";
    WriteFile(path, broken);
    fs::permissions(path, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    Settings::LoadStatus status = Settings::LoadStatus::Loaded;
    EXPECT_EQ(Settings::Load(&status).ToJson(), Settings{}.ToJson());
    EXPECT_EQ(status, Settings::LoadStatus::Unreadable);
    EXPECT_EQ(ReadFile(path), broken) << "loading must not touch the file";

    ASSERT_TRUE(kCustom.Save());
    EXPECT_EQ(ReadFile(path + ".corrupt"), broken);
    EXPECT_EQ(Mode(path + ".corrupt"), kPrivate) << "the copy may hold keys";
    EXPECT_EQ(Settings::Load().ToJson(), kCustom.ToJson());
    // A second bad file does not overwrite the first backup; a good file is simply replaced.
    WriteFile(path, "[1, 2, 3]");
    ASSERT_TRUE(kCustom.Save());
    ASSERT_TRUE(Settings{}.Save());
    EXPECT_EQ(ReadFile(path + ".corrupt"), broken);
    EXPECT_EQ(ReadFile(path + ".corrupt.1"), "[1, 2, 3]");
    EXPECT_EQ(Files(dir),
              (std::vector<std::string>{"settings.json", "settings.json.corrupt", "settings.json.corrupt.1"}));
}
