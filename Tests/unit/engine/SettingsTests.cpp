#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/Settings.hpp"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* handle = ::opendir(dir.c_str())) {
        while (dirent* entry = ::readdir(handle)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(handle);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Each test gets its own home folder.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillmere-settings-XXXXXX";
        home = ::mkdtemp(pattern);
        const char* old = std::getenv("HOME");
        savedHome = old != nullptr ? old : "";
        ::setenv("HOME", home.c_str(), 1);
        dir = home + "/.quillmere";
        path = dir + "/settings.json";
    }
    void TearDown() override
    {
        ::setenv("HOME", savedHome.c_str(), 1);
        std::system(("rm -rf '" + home + "'").c_str());
    }

    Settings Custom() const
    {
        Settings s;
        s.provider = "openai";
        s.model = "gpt-4o";
        s.anthropicApiKey = "sk-ant-1";
        s.openaiApiKey = "sk-oa-2";
        s.proxyUrl = "https://proxy.example.invalid";
        s.windowWidth = 512;
        s.windowHeight = 900;
        s.darkMode = true;
        s.accessToken = "token-3";
        s.userEmail = "user@example.invalid";
        return s;
    }

    std::string home, savedHome, dir, path;
};

}  // namespace

TEST_F(SettingsTest, MissingFileGivesDefaults)
{
    EXPECT_EQ(Settings::FilePath(), path);
    Settings::LoadStatus status = Settings::LoadStatus::Loaded;
    const Settings loaded = Settings::Load(&status);
    EXPECT_EQ(status, Settings::LoadStatus::Missing);
    EXPECT_EQ(loaded.ToJson(), Settings{}.ToJson());
    EXPECT_TRUE(FilesIn(home).empty()) << "loading must not create anything";
}

TEST_F(SettingsTest, RoundTripWritesAPrivateIndentedFile)
{
    std::string error;
    ASSERT_TRUE(Custom().Save(&error)) << error;

    Settings::LoadStatus status = Settings::LoadStatus::Missing;
    const Settings loaded = Settings::Load(&status);
    EXPECT_EQ(status, Settings::LoadStatus::Loaded);
    EXPECT_EQ(loaded.ToJson(), Custom().ToJson());
    EXPECT_EQ(loaded.openaiApiKey, "sk-oa-2");
    EXPECT_EQ(loaded.windowHeight, 900);
    EXPECT_TRUE(loaded.darkMode);

    const std::string text = ReadFile(path);
    EXPECT_EQ(nlohmann::json::parse(text), Custom().ToJson());
    EXPECT_NE(text.find("\n  \"anthropic_api_key\": \"sk-ant-1\""), std::string::npos) << text;
    for (const char* key : {"provider", "model", "openai_api_key", "proxy_url", "window_width", "window_height",
                            "dark_mode", "access_token", "user_email"}) {
        EXPECT_NE(text.find(std::string("\"") + key + "\""), std::string::npos) << key;
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"settings.json"})) << "a temporary file was left behind";
}

TEST_F(SettingsTest, SavingOverAReadableFileMakesItPrivate)
{
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    WriteFile(path, R"({"model":"old"})");
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(Custom().Save());
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Settings::Load().model, "gpt-4o");
}

TEST_F(SettingsTest, MembersOfTheWrongTypeKeepTheirDefaults)
{
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    WriteFile(path, R"({"provider":"openai","model":5,"window_width":"wide","window_height":1e12,
                        "dark_mode":"yes","anthropic_api_key":null,"user_email":"a@b.invalid"})");
    const Settings loaded = Settings::Load();
    const Settings defaults;
    EXPECT_EQ(loaded.provider, "openai");
    EXPECT_EQ(loaded.userEmail, "a@b.invalid");
    EXPECT_EQ(loaded.model, defaults.model);
    EXPECT_EQ(loaded.windowWidth, defaults.windowWidth);
    EXPECT_EQ(loaded.windowHeight, defaults.windowHeight);
    EXPECT_EQ(loaded.darkMode, defaults.darkMode);
    EXPECT_EQ(loaded.anthropicApiKey, "");
}

TEST_F(SettingsTest, CorruptFileIsKeptBesideBeforeTheNextSave)
{
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    const std::string broken = "{\"anthropic_api_key\": \"sk-typed-by-hand\",, }";
    WriteFile(path, broken);

    Settings::LoadStatus status = Settings::LoadStatus::Loaded;
    const Settings loaded = Settings::Load(&status);
    EXPECT_EQ(status, Settings::LoadStatus::Unreadable);
    EXPECT_EQ(loaded.ToJson(), Settings{}.ToJson());
    EXPECT_EQ(ReadFile(path), broken) << "loading must not touch the file";

    ASSERT_TRUE(Custom().Save());
    EXPECT_EQ(ReadFile(path + ".corrupt"), broken);
    EXPECT_EQ(Settings::Load().ToJson(), Custom().ToJson());

    // A second bad file does not overwrite the first backup.
    WriteFile(path, "[1, 2, 3]");
    ASSERT_TRUE(Custom().Save());
    EXPECT_EQ(ReadFile(path + ".corrupt"), broken);
    EXPECT_EQ(ReadFile(path + ".corrupt.1"), "[1, 2, 3]");

    // A good file is simply replaced, with no backup.
    ASSERT_TRUE(Settings{}.Save());
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"settings.json", "settings.json.corrupt",
                                                      "settings.json.corrupt.1"}));
}

TEST_F(SettingsTest, UnwritablePlaceFailsWithAReason)
{
    WriteFile(home + "/not-a-folder", "x");
    std::string error;
    EXPECT_FALSE(Custom().SaveTo(home + "/not-a-folder/settings.json", &error));
    EXPECT_FALSE(error.empty());
}
