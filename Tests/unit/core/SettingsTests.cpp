// Settings on disk: a private, indented file written whole; what cannot be read keeps its
// defaults, and a corrupt file is kept beside before it is replaced.
#include <algorithm>
#include <filesystem>
#include <functional>

#include <sys/stat.h>

#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "core/CurrentSettings.hpp"
#include "core/FileText.hpp"
#include "core/Settings.hpp"

namespace fs = std::filesystem;

namespace {

fs::perms Mode(const std::string& path) { return fs::status(path).permissions() & fs::perms::all; }
const auto ReadFile = TempFolder::Read;
const auto WriteFile = TempFolder::Write;

const Settings kCustom{"openai", "gpt-4o", "sk-ant-1", "sk-oa-2", "https://proxy.example.invalid",
                       512,      900,      true,       "token-3", "user@example.invalid"};
const fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;

// Each test gets its own home folder from the fixture.
class SettingsTest : public QuillmereTest {
protected:
    const std::string home = HomeDir(), dir = home + "/.quillmere", path = dir + "/settings.json";
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
    withService.refreshToken = "refresh-4";
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

// Copies of the add-on sharing the file: a sign-in written with a higher generation, or with
// other tokens at the same one (a file of an earlier version), is newer, and a save keeps it.
TEST_F(SettingsTest, ASaveKeepsANewerSignInAnotherCopyWrote)
{
    struct Case {
        const char* name;
        long long own;
        const char* ownToken;
        long long file;
        const char* fileToken;
        bool newer;  // the file's sign-in is newer than own
    };
    const std::vector<Case> cases = {
        {"TheSameSignIn", 3, "a", 3, "a", false},
        {"AHigherGeneration", 3, "a", 4, "b", true},
        {"ASignOutOfAHigherGeneration", 3, "a", 4, "", true},
        {"ALowerGeneration", 4, "b", 3, "a", false},
        {"OtherTokensOfAnEarlierVersion", 0, "a", 0, "b", true},
    };
    EXPECT_FALSE(Settings{}.ToJson().contains("sign_in_generation"))
        << "files of users never signed in stay as they were";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings own = kCustom, file;
        own.accessToken = c.ownToken;
        own.refreshToken = std::string("refresh-") + c.ownToken;
        own.signInGeneration = c.own;
        file.accessToken = c.fileToken;
        file.refreshToken = std::string("refresh-") + c.fileToken;
        file.signInGeneration = c.file;
        EXPECT_EQ(own.SignInOlderThan(file), c.newer);
        ASSERT_TRUE(file.Save());
        ASSERT_TRUE(CurrentSettings::Save(own));
        const Settings saved = Settings::Load();
        EXPECT_EQ(saved.model, kCustom.model) << "the rest is what the copy saved";
        EXPECT_EQ(saved.accessToken, c.newer ? c.fileToken : c.ownToken);
        EXPECT_EQ(saved.refreshToken, std::string("refresh-") + (c.newer ? c.fileToken : c.ownToken));
        EXPECT_EQ(saved.signInGeneration, c.newer ? c.file : c.own);
        EXPECT_EQ(CurrentSettings::Get().accessToken, saved.accessToken) << "what was written is in force";
    }
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

// The settings in force are read once; only the palette's load or a save that worked replaces them.
TEST_F(SettingsTest, CurrentSettingsAreReadOnceThenOnlyWhatThePaletteLoadsOrSaves)
{
    const auto onDisk = [this](const char* model) {
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

// Whole-file reads take regular files only and never wait on what sits at the path; whole-file
// writes replace the target whole, with an exact mode or the umask's, and leave nothing beside.
using Make = std::function<void(const std::string&)>;

static int ModeOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

TEST(FileTextTest, ReadsOnlyRegularFilesWithoutWaiting)
{
    const std::string big = "{\"model\": \"" + std::string(70000, 'm') + "\"}";  // past one read buffer
    using Status = Settings::LoadStatus;
    const struct {
        const char* name;
        Make make;
        bool read;
        Status settings;
    } rows[] = {
        {"regular file", [&](const std::string& p) { TempFolder::Write(p, big); }, true, Status::Loaded},
        {"named pipe", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, false, Status::Unreadable},
        {"folder", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, false, Status::Unreadable},
        {"nothing", [](const std::string&) {}, false, Status::Missing},
    };
    for (const auto& row : rows) {
        TempFolder folder("quillmere-filetext");
        const std::string path = folder.Path("settings.json");
        row.make(path);
        std::string bytes = "before";
        EXPECT_EQ(ReadWholeFile(path, bytes), row.read) << row.name;
        EXPECT_EQ(bytes, row.read ? big : "before") << row.name;
        Status status = Status::Loaded;
        Settings::LoadFrom(path, &status);
        EXPECT_EQ(status, row.settings) << row.name;
    }
}

TEST(FileTextTest, WritesWholeWithTheModeAskedForAndLeavesNothingBeside)
{
    const auto oldFile = [](mode_t mode) -> Make {
        return [mode](const std::string& p) { TempFolder::Write(p, "old"), ::chmod(p.c_str(), mode); };
    };
    const Make folderInTheWay = [](const std::string& p) { ::mkdir(p.c_str(), 0700), TempFolder::Write(p + "/x", ""); };
    const struct {
        const char* name;
        Make make;
        int mode;
        mode_t umask;
        int expected;  // -1: the write fails and what was there stays
    } rows[] = {
        {"exact mode narrows a readable file", oldFile(0644), 0600, 022, 0600},
        {"exact mode ignores the umask", [](const std::string&) {}, 0640, 077, 0640},
        {"umask mode over a private file", oldFile(0600), kModeFromUmask, 022, 0644},
        {"umask mode under a strict umask", oldFile(0644), kModeFromUmask, 077, 0600},
        {"a folder in the way stays", folderInTheWay, 0600, 022, -1},
    };
    for (const auto& row : rows) {
        TempFolder folder("quillmere-filetext");
        const std::string path = folder.Path("out.json");
        row.make(path);
        const int before = ModeOf(path);
        const mode_t saved = ::umask(row.umask);
        std::string error;
        const bool written = WriteWholeFileAtomic(path, "new", row.mode, &error);
        ::umask(saved);
        EXPECT_EQ(written, row.expected >= 0) << row.name;
        EXPECT_EQ(error.empty(), written) << row.name << ": " << error;
        EXPECT_EQ(ModeOf(path), written ? row.expected : before) << row.name;
        EXPECT_EQ(written ? TempFolder::Read(path) : "new", "new") << row.name;
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"out.json"}) << row.name;
    }
}
