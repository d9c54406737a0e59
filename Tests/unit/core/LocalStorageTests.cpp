// The add-on's own folder: where it lies, which names are safe in it, and how it is made.
#include <gtest/gtest.h>
#include <pwd.h>

#include <chrono>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "TempFolder.hpp"
#include "core/LocalStorage.hpp"

TEST(LocalStorageTest, BaseDirFollowsHomeElseThePasswordDatabase)
{
    const char* saved = std::getenv("HOME");
    const std::string oldHome = saved != nullptr ? saved : "";
    const passwd* entry = getpwuid(getuid());
    const std::string fromDatabase = entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/tmp";

    setenv("HOME", "/home/someone else", 1);
    EXPECT_EQ(LocalStorage::GetBaseDir(), "/home/someone else/.quillmere");
    EXPECT_NE(access("/home/someone else/.quillmere", F_OK), 0);  // named, not created
    unsetenv("HOME");
    EXPECT_EQ(LocalStorage::GetBaseDir(), fromDatabase + "/.quillmere");
    setenv("HOME", "", 1);  // an empty HOME is no home either: never the file-system root
    EXPECT_EQ(LocalStorage::GetBaseDir(), fromDatabase + "/.quillmere");
    saved != nullptr ? setenv("HOME", oldHome.c_str(), 1) : unsetenv("HOME");
}

TEST(LocalStorageTest, SanitiseNameKeepsOnlySafeAsciiBytesOneForOne)
{
    const std::string kept = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._";
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(LocalStorage::SanitiseName(one), kept.find(one) != std::string::npos ? one : "_") << byte;
    }
    EXPECT_EQ(LocalStorage::SanitiseName(""), "default");
    EXPECT_EQ(LocalStorage::SanitiseName("../../etc/passwd"), ".._.._etc_passwd");
    EXPECT_EQ(LocalStorage::SanitiseName(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(LocalStorage::SanitiseName(u8"K\u00fcche \u6a21\u578b"), "K__che_______");
}

TEST(LocalStorageTest, EnsureDirCreatesOneLevelWithMode0755)
{
    const TempFolder folder("quillmere_storage_test");
    const std::string root = folder.Dir(), child = root + "/history", file = root + "/plain_file";
    TempFolder::Write(file, "x");

    EXPECT_TRUE(LocalStorage::EnsureDir(child));
    struct stat info {};
    ASSERT_EQ(stat(child.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777 & ~0755, 0u);
    EXPECT_TRUE(LocalStorage::EnsureDir(child));  // already there
    EXPECT_FALSE(LocalStorage::EnsureDir(root + "/missing/parent"));
    EXPECT_NE(access((root + "/missing").c_str(), F_OK), 0);
    EXPECT_FALSE(LocalStorage::EnsureDir(file));
}

// Held by one holder at a time, in one process as across processes, and waited for until it
// is let go, until its time is up or until whoever waits gives up.
TEST(LocalStorageTest, FileLockExcludesEveryOtherHolderUntilLetGo)
{
    const TempFolder folder("quillmere_lock_test");
    const std::string path = folder.Dir() + "/one.lock";
    const auto now = [] { return std::chrono::steady_clock::now(); };
    std::optional<LocalStorage::FileLock> first(std::in_place, path, now());
    ASSERT_TRUE(first->Held());
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(LocalStorage::FileLock(path, now() + std::chrono::milliseconds(50)).Held());
    int asked = 0;
    EXPECT_FALSE(LocalStorage::FileLock(path, now() + std::chrono::minutes(1), [&] { return ++asked == 3; }).Held());
    EXPECT_EQ(asked, 3);
    bool held = false;
    std::thread waiter([&] { held = LocalStorage::FileLock(path, now() + std::chrono::seconds(20)).Held(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    first.reset();
    waiter.join();
    EXPECT_TRUE(held) << "let go, it goes to whoever waits";
    EXPECT_TRUE(LocalStorage::FileLock(path, now()).Held());
    const auto before = now();
    EXPECT_FALSE(LocalStorage::FileLock(folder.Dir() + "/missing/one.lock", now() + std::chrono::minutes(1)).Held());
    EXPECT_LT(now() - before, std::chrono::seconds(1)) << "a lock that cannot be made is not waited for";
}
