// The host's stories: the story list in a handle the caller frees, and inserting a story (its
// name read within its field, higher elements moved up with their stories) undone whole.

#include "QuillmereTest.hpp"

namespace {

class Environment : public HostTest {
protected:
    // The story settings; the caller owns the handle.
    static API_StoryInfo Stories()
    {
        API_StoryInfo info;
        BNClear(info);
        EXPECT_EQ(ACAPI_Environment(APIEnv_GetStorySettingsID, &info), NoError);
        return info;
    }
    static GSErrCode ChangeStories(API_StoryCmdType& cmd, const char* stepName = "Test Step")
    {
        return Command([&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd); }, stepName);
    }
};

TEST_F(Environment, StorySettingsComeInFreshAllocationsTheCallerFrees)
{
    API_StoryInfo info = Stories();
    EXPECT_EQ(std::make_tuple(info.firstStory, info.lastStory, info.actStory), std::make_tuple(0, 2, 0));
    ASSERT_NE(info.data, nullptr);
    ASSERT_EQ(BMGetHandleSize(info.data), GSSize(3 * sizeof(API_StoryType)));
    EXPECT_EQ(std::make_tuple((*info.data)[2].index, (*info.data)[2].level), std::make_tuple(2, 6.0));
    EXPECT_STREQ(GS::UniString((*info.data)[0].uName).ToCStr().Get(), "Ground Floor");
    BMKillHandle(&info.data);
    HostTesting::SetStories({{0, 0.0, "Ground"}, {2, 6.0, "Second"}});  // a gap
    info = Stories();
    ASSERT_EQ(info.lastStory, 2);
    ASSERT_EQ(BMGetHandleSize(info.data), GSSize(3 * sizeof(API_StoryType)));
    EXPECT_EQ(std::make_tuple((*info.data)[1].index, (*info.data)[2].index, (*info.data)[2].level),
              std::make_tuple(1, 2, 6.0));
    BMKillHandle(&info.data);
}

TEST_F(Environment, InsertingAStoryReadsItsNameWithinItsFieldMovesHigherElementsUpAndUndoes)
{
    // The name fills its whole field, with no terminator; whatever follows is not part of it.
    struct {
        API_StoryCmdType cmd;
        GS::uchar_t after[4];
    } top;
    BNClear(top);
    top.cmd = {APIStory_InsAbove, 2, 3.0, 9.0, {}};
    for (GS::uchar_t& unit : top.cmd.uName) unit = u'A';
    top.after[0] = top.after[1] = u'Z';
    ASSERT_EQ(ChangeStories(top.cmd, "Quillmere: Create Story"), NoError);
    std::vector<HostTesting::StoryFixture> stories = HostTesting::GetStories();
    ASSERT_EQ(stories.size(), 4u);
    EXPECT_EQ(std::make_tuple(stories[3].index, stories[3].name), std::make_tuple(Int16(3), std::string(256, 'A')));
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(HostTesting::GetStories().size(), 3u);
    API_Guid wall = HostTesting::AddWall(0, 0, 1, 0, 2);
    API_StoryCmdType between{APIStory_InsAbove, 0, 1.5, 1.5, {}};
    ASSERT_EQ(ChangeStories(between), NoError);
    EXPECT_EQ(Read(wall).header.floorInd, 3) << "the wall moved up with its story";
    EXPECT_EQ(HostTesting::GetStories()[1].level, 1.5);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(Read(wall).header.floorInd, 2) << "undo puts the wall back with its story";
    EXPECT_EQ(HostTesting::GetStories().size(), 3u);
}

}  // namespace
