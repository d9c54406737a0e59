#include "HostFixture.hpp"

namespace {

class Environment : public HostTest {
protected:
    static API_StoryInfo Stories()
    {
        API_StoryInfo info;
        BNClear(info);
        EXPECT_EQ(ACAPI_Environment(APIEnv_GetStorySettingsID, &info), NoError);
        return info;
    }
};

TEST_F(Environment, StorySettingsComeInAFreshHandle)
{
    API_StoryInfo info = Stories();
    EXPECT_EQ(info.firstStory, 0);
    EXPECT_EQ(info.lastStory, 2);
    EXPECT_EQ(info.actStory, 0);
    ASSERT_NE(info.data, nullptr);
    ASSERT_EQ(BMGetHandleSize(info.data), GSSize(3 * sizeof(API_StoryType)));
    EXPECT_EQ((*info.data)[2].index, 2);
    EXPECT_EQ((*info.data)[2].level, 6.0);
    EXPECT_STREQ(GS::UniString((*info.data)[0].uName).ToCStr().Get(), "Ground Floor");
    BMKillHandle(&info.data);
}

TEST_F(Environment, NegativeFirstStoryAndNoStories)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}});
    API_StoryInfo info = Stories();
    EXPECT_EQ(info.firstStory, -1);
    EXPECT_EQ(info.lastStory, 0);
    EXPECT_EQ((*info.data)[0].level, -3.0);
    BMKillHandle(&info.data);
    HostTesting::SetStories({});
    info = Stories();
    EXPECT_GT(info.firstStory, info.lastStory);
    EXPECT_EQ(info.data, nullptr);
}

TEST_F(Environment, InsertingAStoryAboveTheLastIsUndoable)
{
    API_StoryCmdType cmd;
    BNClear(cmd);
    cmd.action = APIStory_InsAbove;
    cmd.index = 2;
    cmd.height = 3.0;
    cmd.elevation = 9.0;
    GS::ucsncpy(cmd.uName, u"Roof Level", 256);
    EXPECT_EQ(ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd), APIERR_NEEDSUNDOSCOPE);
    ASSERT_EQ(Command([&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd); }, "Quillmere: Create Story"), NoError);
    std::vector<HostTesting::StoryFixture> stories = HostTesting::GetStories();
    ASSERT_EQ(stories.size(), 4u);
    EXPECT_EQ(stories[3].index, 3);
    EXPECT_EQ(stories[3].name, "Roof Level");
    HostTesting::Undo();
    EXPECT_EQ(HostTesting::GetStories().size(), 3u);
}

TEST_F(Environment, InsertingBetweenStoriesKeepsElementsOnTheirStory)
{
    API_Guid top = HostTesting::AddWall(0, 0, 1, 0, 2);
    API_StoryCmdType cmd;
    BNClear(cmd);
    cmd.action = APIStory_InsAbove;
    cmd.index = 0;
    cmd.height = 1.5;
    cmd.elevation = 1.5;
    ASSERT_EQ(Command([&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd); }), NoError);
    EXPECT_EQ(Read(top).header.floorInd, 3) << "the wall moved up with its story";
    EXPECT_EQ(HostTesting::GetStories()[1].level, 1.5);
}

TEST_F(Environment, GoToStoryAndBadStoryCommands)
{
    API_StoryCmdType cmd;
    BNClear(cmd);
    cmd.action = APIStory_GoTo;
    cmd.index = 1;
    EXPECT_EQ(ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd), NoError);
    EXPECT_EQ(HostTesting::CurrentStory(), 1);
    cmd.index = 8;
    EXPECT_EQ(ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd), APIERR_BADPARS);
    cmd.index = 1;
    cmd.action = 0;
    EXPECT_EQ(Command([&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd); }), APIERR_BADPARS);
}

TEST_F(Environment, ProjectInfoAllocatesWhatTheCallerFrees)
{
    API_ProjectInfo info;
    BNClear(info);
    ASSERT_EQ(ACAPI_Environment(APIEnv_ProjectID, &info), NoError);
    ASSERT_NE(info.projectName, nullptr);
    EXPECT_FALSE(info.untitled);
    EXPECT_FALSE(info.projectName->IsEmpty());
    delete info.projectName;
    delete info.projectPath;
    delete info.location;

    HostTesting::SetProjectName(std::nullopt);
    BNClear(info);
    ASSERT_EQ(ACAPI_Environment(APIEnv_ProjectID, &info), NoError);
    EXPECT_TRUE(info.untitled);
    EXPECT_EQ(info.projectName, nullptr);
}

}  // namespace
