// What the story and build-phase tools need of the host: the story actions by the host's own
// numbers (an inserted story's name read within its field, higher elements moved up with their
// stories, all undone whole), and cheap layer-only changes that still refuse what they must.

#include "QuillmereTest.hpp"

namespace {

class StoriesAndPhases : public HostTest {};

TEST_F(StoriesAndPhases, StoryActionsUseTheHostsNumbersAndGoToStaysOutOfTheUndoHistory)
{
    // The name fills its whole field, with no terminator; whatever follows is not part of it.
    struct {
        API_StoryCmdType cmd;
        GS::uchar_t after[4];
    } named;
    BNClear(named);
    for (GS::uchar_t& unit : named.cmd.uName) unit = u'A';
    named.after[0] = named.after[1] = u'Z';
    struct Case {
        Int32 action;
        Int16 index;
        bool inCommand;
        GSErrCode expected;
    };
    const Case cases[] = {
        {APIStory_GoTo, 2, false, NoError},
        {APIStory_GoTo, -1, false, APIERR_BADPARS},  // below the first story
        {0, 1, false, APIERR_BADPARS},               // no such action: refused, not "needs a command"
        {APIStory_InsAbove, 2, false, APIERR_NEEDSUNDOSCOPE},
        {APIStory_InsAbove, 2, true, NoError},
    };
    for (const Case& c : cases) {
        HostTesting::ResetProject();
        const auto before = HostTesting::UndoStepNames();
        API_StoryCmdType& cmd = named.cmd;
        cmd.action = c.action, cmd.index = c.index, cmd.height = 3.0, cmd.elevation = 9.0;
        const auto run = [&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd); };
        EXPECT_EQ(c.inCommand ? Command(run) : run(), c.expected) << "action " << c.action << " index " << c.index;
        const bool inserted = c.expected == NoError && c.action == APIStory_InsAbove;
        const auto stories = HostTesting::GetStories();
        EXPECT_EQ(std::make_tuple(stories.size(), stories.back().index, stories.back().name == std::string(256, 'A')),
                  std::make_tuple(inserted ? size_t(4) : size_t(3), Int16(inserted ? 3 : 2), inserted));
        EXPECT_EQ(HostTesting::CurrentStory(), c.expected == NoError && c.action == APIStory_GoTo ? c.index : 0);
        EXPECT_EQ(HostTesting::UndoStepNames().size(), before.size() + (inserted ? 1 : 0));
    }
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(HostTesting::GetStories().size(), 3u) << "the inserted story goes with its step";
    // A story inserted below an element's story moves the element up; undo puts it back.
    const API_Guid wall = HostTesting::AddWall(0, 0, 1, 0, 2);
    API_StoryCmdType between{APIStory_InsAbove, 0, 1.5, 1.5, {}};
    ASSERT_EQ(Command([&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &between); }), NoError);
    EXPECT_EQ(std::make_tuple(Read(wall).header.floorInd, HostTesting::GetStories()[1].level), std::make_tuple(3, 1.5));
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(std::make_tuple(Read(wall).header.floorInd, HostTesting::GetStories().size()),
              std::make_tuple(2, size_t(3)));
}

// A change that leaves geometry, memo and story alone is checked by its header only; anything
// more is checked in full, as before.
TEST_F(StoriesAndPhases, OnlyAHeaderOnlyChangeSkipsTheElementsOwnChecks)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 5, 0, 1);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 1, wall);
    // Every case also writes an unflagged bad thickness, which must never reach the element.
    struct Case {
        const char* what;
        API_Guid guid;
        Int32 layer;  // 0: not flagged
        bool flagThickness;
        Int16 story;  // 1: not flagged (both stand on story 1)
        GSErrCode expected;
    };
    const Case cases[] = {
        {"layer only", wall, 5, false, 1, NoError},
        {"no such layer", wall, 999, false, 1, APIERR_BADINDEX},
        {"layer and a bad thickness", wall, 5, true, 1, APIERR_BADPARS},
        {"a door off its wall's story", door, 0, false, 2, APIERR_BADPARS},
    };
    for (const Case& c : cases) {
        const API_Element before = Read(c.guid);
        API_Element e = before, mask = Cleared();
        e.wall.thickness = -1;
        if (c.layer != 0) {
            e.header.layer = c.layer;
            ACAPI_ELEMENT_MASK_SET(mask, header, layer);
        }
        if (c.flagThickness) ACAPI_ELEMENT_MASK_SET(mask, wall, thickness);
        if (c.story != 1) {
            e.header.floorInd = c.story;
            ACAPI_ELEMENT_MASK_SET(mask, header, floorInd);
        }
        EXPECT_EQ(ChangeInCommand(e, &mask), c.expected) << c.what;
        API_Element expected = before;
        if (c.expected == NoError) expected.header.layer = c.layer;
        EXPECT_TRUE(Same(Read(c.guid), expected)) << c.what;
    }
}

}  // namespace
