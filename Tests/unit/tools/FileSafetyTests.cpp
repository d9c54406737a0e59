// Files the tools write where the model or the user points them: a file that is not a module
// is never replaced, a failed write leaves the earlier file as it was, saving
// nothing at all is a failure that says why, and every file follows the user's umask.
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "HostPublishing.hpp"
#include "HostTestingNavigator.hpp"
#include "PlanViewPdf.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"

namespace {

class FileSafety : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        PlanViewPdf::Install();
        HostTesting::AddWall(0, 0, 5, 0);
        HostTesting::SetPublisherSets({{"Plans", folder.Dir(), 0}});
        savedUmask = ::umask(027);
    }
    void TearDown() override
    {
        ::umask(savedUmask);
        PlanViewPdf::Install();
        QuillmereTest::TearDown();
    }
    static mode_t Mode(const std::string& path)
    {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    TempFolder folder{"quillmere-files"};
    mode_t savedUmask = 0;
};

TEST_F(FileSafety, TheUsersFilesSurviveAndNewOnesFollowTheUmask)
{
    const std::string pdf = folder.Path("Plans.pdf");
    const auto publish = [this] { return Run("publish_to_pdf", {{"publisher_set_name", "Plans"}}); };
    const auto save = [this](const std::string& name) {
        return Run("save_as_module", {{"file_path", folder.Path(name)}});
    };
    ASSERT_TRUE(publish().success);
    const std::string earlierPdf = TempFolder::Read(pdf);
    TempFolder::Write(folder.Path("bashrc"), "alias ls='ls -F'\n");
    ASSERT_TRUE(save("old.mod").success);

    struct Case {
        const char* name;
        std::function<ToolResult()> run;
        std::string outcome;  // the message, or "!" and the error
        std::string file;     // its content must be what it was
        std::string content;
    };
    const std::vector<Case> cases = {
        {"a module over a file that is not one", [&] { return save("bashrc"); },
         "!Not saved: " + folder.Path("bashrc") + " exists and is not a module file", folder.Path("bashrc"),
         "alias ls='ls -F'\n"},
        {"a path holding a NUL", [&] { return save(std::string("bashrc\0.mod", 10)); },
         "!file_path must not contain a NUL character", folder.Path("bashrc"), "alias ls='ls -F'\n"},
        {"a module over an earlier module", [&] { return save("old.mod"); }, "Module saved: " + folder.Path("old.mod"),
         pdf, earlierPdf},
        {"a painter that reports success and writes nothing",
         [&] {
             HostPublishing::SetPdfPainter(
                 [](const std::vector<HostPublishing::Page>&, const std::string&) { return NoError; });
             return publish();
         },
         "!Publish error: " + std::to_string(APIERR_GENERAL), pdf, earlierPdf},
        {"a template name too long for a file",
         [&] {
             return Run("capture_project_template", {{"template_name", std::string(300, 'n')}});
         },
         "!Template not saved: the template name is too long for a file name (at most 245 bytes)", pdf, earlierPdf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolResult r = c.run();
        EXPECT_EQ(r.success ? r.message : "!" + r.error, c.outcome);
        EXPECT_EQ(TempFolder::Read(c.file), c.content);
        EXPECT_EQ(folder.Files(), (std::vector<std::string>{"Plans.pdf", "bashrc", "old.mod"})) << "a file was left";
    }
    ASSERT_TRUE(Run("capture_project_template", {{"template_name", "T"}}).success);
    const std::string templates = HomeDir() + "/.quillmere/templates/";
    for (const std::string& made : {pdf, folder.Path("old.mod"), templates + "T.mod", templates + "T.meta.json"})
        EXPECT_EQ(Mode(made), 0640u) << made;
}

}  // namespace
