// What the story and build-phase tools need of the host: an inserted story (its name read within
// its field, higher elements moved up with their stories, undone whole), and cheap layer-only
// changes that still refuse what they must.

#include "QuillmereTest.hpp"

namespace {

class StoriesAndPhases : public HostTest {};

// Switching stories and adding one above the last are the story tools' to check; here, what
// only the host computes for an inserted story.
TEST_F(StoriesAndPhases, AnInsertedStoryReadsItsNameWithinItsFieldMovesHigherElementsUpAndUndoes)
{
    // The name fills its whole field, with no terminator; whatever follows is not part of it.
    struct {
        API_StoryCmdType cmd;
        GS::uchar_t after[4];
    } named;
    BNClear(named);
    named.cmd = {APIStory_InsAbove, 0, 1.5, 1.5, {}};
    for (GS::uchar_t& unit : named.cmd.uName) unit = u'A';
    named.after[0] = named.after[1] = u'Z';
    const API_Guid wall = HostTesting::AddWall(0, 0, 1, 0, 2);
    ASSERT_EQ(Command([&] { return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &named.cmd); }), NoError);
    const auto stories = HostTesting::GetStories();
    ASSERT_EQ(stories.size(), 4u);
    EXPECT_EQ(std::make_tuple(stories[1].index, stories[1].level, stories[1].name),
              std::make_tuple(Int16(1), 1.5, std::string(256, 'A')));
    EXPECT_EQ(Read(wall).header.floorInd, 3) << "the wall moved up with its story";
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
