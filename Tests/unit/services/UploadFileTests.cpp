// Files written for one upload: private, exactly named, whole, and gone with their folder.

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempFolder.hpp"
#include "services/UploadFile.hpp"

namespace fs = std::filesystem;

namespace {

unsigned Mode(const std::string& path)
{
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 0777;
}

TEST(UploadFile, TheFileIsPrivateExactlyNamedAndWholeAndGoesWithItsFolder)
{
    TempDirScope tmp("quillmere-uploadfile");
    const std::string bytes("%PDF\0\xff\r\n", 8);
    std::string path;
    {
        Quillmere::UploadFile file("quillmere_plan_upload.pdf", bytes);
        ASSERT_TRUE(file.Written());
        path = file.Path();
        const std::string dir = fs::path(path).parent_path();
        EXPECT_EQ(fs::path(path).filename(), "quillmere_plan_upload.pdf");
        EXPECT_EQ(fs::path(dir).parent_path(), fs::path(tmp.Dir()));
        EXPECT_EQ(std::make_pair(Mode(dir), Mode(path)), std::make_pair(0700u, 0600u));
        EXPECT_EQ(TempFolder::Read(path), bytes);
        Quillmere::UploadFile second("quillmere_plan_upload.pdf", "other");
        EXPECT_NE(second.Path(), path) << "two uploads of one kind never share a file";
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(tmp.Empty());
}

TEST(UploadFile, NamesThatAreNoFileNameAndAnUnusableFolderLeaveNothing)
{
    TempDirScope tmp("quillmere-uploadfile");
    for (const char* name : {"", "a/b", ".."}) {
        Quillmere::UploadFile file(name, "x");
        EXPECT_FALSE(file.Written()) << name;
        EXPECT_EQ(file.Path(), "");
    }
    EXPECT_TRUE(tmp.Empty());
    ::setenv("TMPDIR", (tmp.Dir() + "/missing").c_str(), 1);
    EXPECT_FALSE(Quillmere::UploadFile("quillmere_plan_upload.png", "x").Written());
}

}  // namespace
