// Whole-file reads take regular files only and never wait on what sits at the path; whole-file
// writes replace the target whole, with an exact mode or the umask's, and leave nothing beside.
#include <functional>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempFolder.hpp"
#include "core/FileText.hpp"
#include "core/Settings.hpp"

using Make = std::function<void(const std::string&)>;

int ModeOf(const std::string& path)
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
