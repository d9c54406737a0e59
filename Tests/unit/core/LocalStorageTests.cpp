#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/LocalStorage.hpp"

namespace {

// Sets or clears HOME for one test and puts the old value back afterwards.
class HomeGuard {
public:
    HomeGuard()
    {
        const char* home = std::getenv("HOME");
        had_ = home != nullptr;
        if (had_) {
            old_ = home;
        }
    }
    ~HomeGuard()
    {
        if (had_) {
            setenv("HOME", old_.c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }

private:
    bool had_ = false;
    std::string old_;
};

std::string PasswordHome()
{
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TEST(LocalStorageTest, BaseDirFollowsHome)
{
    HomeGuard guard;
    setenv("HOME", "/home/someone else", 1);
    EXPECT_EQ(LocalStorage::GetBaseDir(), "/home/someone else/.quillmere");
    EXPECT_FALSE(IsDirectory("/home/someone else/.quillmere"));
}

TEST(LocalStorageTest, BaseDirWithoutHomeUsesThePasswordDatabase)
{
    HomeGuard guard;
    std::string expected = PasswordHome();
    if (expected.empty()) {
        expected = "/tmp";
    }
    unsetenv("HOME");
    EXPECT_EQ(LocalStorage::GetBaseDir(), expected + "/.quillmere");
    // An empty HOME is no home either: never the file-system root.
    setenv("HOME", "", 1);
    EXPECT_EQ(LocalStorage::GetBaseDir(), expected + "/.quillmere");
}

TEST(LocalStorageTest, SanitiseNameKeepsOnlySafeAsciiBytes)
{
    EXPECT_EQ(LocalStorage::SanitiseName(""), "default");
    EXPECT_EQ(LocalStorage::SanitiseName("Villa 3 (north)"), "Villa_3__north_");
    EXPECT_EQ(LocalStorage::SanitiseName("plan-v1.2_final"), "plan-v1.2_final");
    EXPECT_EQ(LocalStorage::SanitiseName("../../etc/passwd"), ".._.._etc_passwd");
    EXPECT_EQ(LocalStorage::SanitiseName(std::string("a\0b", 3)), "a_b");
    // Multi-byte UTF-8: one '_' per byte, so the length is kept.
    const std::string kitchen = u8"K\u00fcche \u6a21\u578b";
    const std::string cleaned = LocalStorage::SanitiseName(kitchen);
    EXPECT_EQ(cleaned.size(), kitchen.size());
    EXPECT_EQ(cleaned, "K__che_______");
}

TEST(LocalStorageTest, SanitiseNameTreatsEveryByteAsTheCLocaleWould)
{
    const std::string kept = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._";
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const bool shouldKeep = kept.find(static_cast<char>(byte)) != std::string::npos;
        EXPECT_EQ(LocalStorage::SanitiseName(one), shouldKeep ? one : std::string("_")) << "byte " << byte;
    }
}

TEST(LocalStorageTest, EnsureDirCreatesOneLevel)
{
    char pattern[] = "/tmp/quillmere_storage_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    const std::string child = root + "/history";

    EXPECT_TRUE(LocalStorage::EnsureDir(child));
    EXPECT_TRUE(IsDirectory(child));
    struct stat info {};
    ASSERT_EQ(stat(child.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777 & ~0755, 0u);
    EXPECT_TRUE(LocalStorage::EnsureDir(child));  // already there

    EXPECT_FALSE(LocalStorage::EnsureDir(root + "/missing/parent"));
    EXPECT_FALSE(IsDirectory(root + "/missing"));

    const std::string file = root + "/plain_file";
    std::ofstream(file) << "x";
    EXPECT_FALSE(LocalStorage::EnsureDir(file));

    std::remove(file.c_str());
    rmdir(child.c_str());
    rmdir(root.c_str());
}
