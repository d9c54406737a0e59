// 'PUBL': a publisher set becomes one PDF page drawn by the window's plan view, written under
// the set's name into its folder or the given one; refusals and failures leave no file.

#include <filesystem>
#include <fstream>

#include "HostPublishing.hpp"
#include "HostTestingNavigator.hpp"
#include "PlanViewPdf.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"

namespace fs = std::filesystem;

namespace {

class Publishing : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        PlanViewPdf::Install();
        fs::create_directory(dir + "/out");
        fs::create_directory(dir + "/elsewhere");
        HostTesting::AddWall(0, 0, 6, 0);
        HostTesting::AddWall(6, 0, 6, 4);
        sets = HostTesting::SetPublisherSets(
            {{"Plans", dir + "/out", 0}, {"Site/Roof", dir + "/out", 1}, {"Lost", dir + "/missing", 0}});
    }
    void TearDown() override
    {
        PlanViewPdf::Install();
        HostTest::TearDown();
    }

    GSErrCode Publish(const API_Guid& set, const std::optional<std::string>& folder = std::nullopt)
    {
        std::optional<IO::Location> location;
        if (folder) location.emplace(*folder);
        API_PublishPars pars;
        BNClear(pars);
        pars.guid = set;
        pars.path = location ? &*location : nullptr;
        return ACAPI_Automate(APIDo_PublishID, &pars);
    }
    std::vector<std::string> Files(const std::string& path) const { return folder.Files(path.substr(dir.size() + 1)); }
    TempFolder folder{"quillmere-publish"};
    const std::string dir = folder.Dir();
    std::vector<API_Guid> sets;
};

TEST_F(Publishing, ASetBecomesAOnePagePdfNamedAfterItInItsFolderOrTheGivenOne)
{
    ASSERT_EQ(Publish(sets[0]), NoError);
    const std::string pdf = TempFolder::Read(dir + "/out/Plans.pdf");
    ASSERT_GT(pdf.size(), 500u);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("%%EOF", pdf.size() - 16), std::string::npos) << "a complete file";
    EXPECT_NE(pdf.find("/Count 1"), std::string::npos) << "one page";

    ASSERT_EQ(Publish(sets[1], dir + "/elsewhere"), NoError) << "the given folder wins";
    EXPECT_EQ(Files(dir + "/elsewhere"), std::vector<std::string>{"Site-Roof.pdf"}) << "a separator is no folder";
    EXPECT_EQ(Files(dir + "/out"), std::vector<std::string>{"Plans.pdf"});

    const std::string longest(251, 'p');
    const auto longSet = HostTesting::SetPublisherSets({{longest, dir + "/out", 0}});
    ASSERT_EQ(Publish(longSet[0]), NoError) << "a set name as long as file names go";
    EXPECT_TRUE(fs::exists(dir + "/out/" + longest + ".pdf"));
}

// Refusals, a painter that fails half way and a host without any painter leave no file.
TEST_F(Publishing, RefusedRunsLeaveNoFile)
{
    const auto halfway = [] {
        HostPublishing::SetPdfPainter([](const std::vector<HostPublishing::Page>&, const std::string& path) {
            return std::ofstream(path) << "%PDF-1.5 half", APIERR_GENERAL;
        });
    };
    const struct {
        const char* name;
        size_t set;
        std::optional<std::string> folder;
        std::function<void()> arrange;
        GSErrCode code;
    } cases[] = {
        {"the set's folder is missing", 2, std::nullopt, [] {}, APIERR_BADPARS},
        {"an empty location", 0, std::string(), [] {}, APIERR_BADPARS},
        {"the painter fails", 0, std::nullopt, halfway, APIERR_GENERAL},
        {"no painter", 0, std::nullopt, [] { HostPublishing::SetPdfPainter(nullptr); }, APIERR_NOTSUPPORTED},
    };
    for (const auto& c : cases) {
        c.arrange();
        EXPECT_EQ(Publish(sets[c.set], c.folder), c.code) << c.name;
        EXPECT_TRUE(fs::is_empty(dir + "/out")) << c.name;
    }
}

}  // namespace
