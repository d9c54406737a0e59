// Files written for one upload: private, exactly named, whole, and gone with their folder.

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "services/UploadFile.hpp"

namespace fs = std::filesystem;

namespace {

class UploadFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quillmere-uploadfile-XXXXXX";
        tmp = ::mkdtemp(pattern);
        const char* old = std::getenv("TMPDIR");
        saved = old != nullptr ? old : "";
        hadTmp = old != nullptr;
        ::setenv("TMPDIR", tmp.c_str(), 1);
    }
    void TearDown() override
    {
        if (hadTmp)
            ::setenv("TMPDIR", saved.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        fs::remove_all(tmp);
    }
    bool TmpEmpty() const { return fs::is_empty(tmp); }
    static unsigned Mode(const std::string& path)
    {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        return info.st_mode & 0777;
    }
    std::string tmp, saved;
    bool hadTmp = false;
};

}  // namespace

TEST_F(UploadFileTest, TheFileIsPrivateExactlyNamedAndWholeAndGoesWithItsFolder)
{
    const std::string bytes("%PDF\0\xff\r\n", 8);
    std::string path, dir;
    {
        Quillmere::UploadFile file("quillmere_plan_upload.pdf", bytes);
        ASSERT_TRUE(file.Written());
        path = file.Path();
        dir = fs::path(path).parent_path();
        EXPECT_EQ(fs::path(path).filename(), "quillmere_plan_upload.pdf");
        EXPECT_EQ(fs::path(dir).parent_path(), fs::path(tmp));
        EXPECT_EQ(Mode(dir), 0700u);
        EXPECT_EQ(Mode(path), 0600u);
        std::ostringstream read;
        read << std::ifstream(path, std::ios::binary).rdbuf();
        EXPECT_EQ(read.str(), bytes);
        Quillmere::UploadFile second("quillmere_plan_upload.pdf", "other");
        EXPECT_NE(second.Path(), path) << "two uploads of one kind never share a file";
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(UploadFileTest, NamesThatAreNoFileNameAndAnUnusableFolderLeaveNothing)
{
    for (const char* name : {"", "a/b", ".", ".."}) {
        Quillmere::UploadFile file(name, "x");
        EXPECT_FALSE(file.Written()) << name;
        EXPECT_EQ(file.Path(), "");
    }
    EXPECT_TRUE(TmpEmpty());
    ::setenv("TMPDIR", (tmp + "/missing").c_str(), 1);
    Quillmere::UploadFile file("quillmere_plan_upload.png", "x");
    EXPECT_FALSE(file.Written());
}
