// What the story and build-phase tools need of the host: the story actions by the host's own
// numbers, layers found, created and hidden by name with and without an undo step, and cheap
// layer-only changes that still refuse what they must.

#include "QuillmereTest.hpp"

namespace {

class StoriesAndPhases : public HostTest {
protected:
    static GSErrCode StoryCommand(Int32 action, Int16 index)
    {
        API_StoryCmdType cmd;
        BNClear(cmd);
        cmd.action = action;
        cmd.index = index;
        cmd.height = 3.0;
        cmd.elevation = 9.0;
        return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd);
    }
    static API_Attribute LayerNamed(const char* name)
    {
        API_Attribute a = HostTesting::MakeLayer(name);
        a.header.index = 0;
        return a;
    }
};

TEST_F(StoriesAndPhases, StoryActionsUseTheHostsNumbersAndGoToStaysOutOfTheUndoHistory)
{
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
        const GSErrCode code =
            c.inCommand ? Command([&] { return StoryCommand(c.action, c.index); }) : StoryCommand(c.action, c.index);
        EXPECT_EQ(code, c.expected) << "action " << c.action << " index " << c.index;
        const bool inserted = c.expected == NoError && c.action == APIStory_InsAbove;
        EXPECT_EQ(HostTesting::GetStories().size(), inserted ? 4u : 3u) << "action " << c.action;
        EXPECT_EQ(HostTesting::CurrentStory(), c.expected == NoError && c.action == APIStory_GoTo ? c.index : 0);
        EXPECT_EQ(HostTesting::UndoStepNames().size(), before.size() + (inserted ? 1 : 0));
    }
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(HostTesting::GetStories().size(), 3u) << "the inserted story goes with its step";
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
