// What the story and build-phase tools need of the host: story settings in a fresh handle
// (also as a damaged host hands them out), the story actions by the host's own numbers,
// layers found, created and hidden by name with and without an undo step, and a layer-only
// change accepted for every element type the phases sort.

#include "HostFixture.hpp"
#include "MixedProject.hpp"

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

TEST_F(StoriesAndPhases, StoryListHandlesAreFreshPerCallAndMayBeMissingOrShort)
{
    struct Case {
        HostTesting::StoryListShape shape;
        bool handle;
        GSSize records;
    };
    const Case cases[] = {
        {HostTesting::StoryListShape::Full, true, 3},
        {HostTesting::StoryListShape::Null, false, 0},
        {HostTesting::StoryListShape::Short, true, 2},
    };
    for (const Case& c : cases) {
        HostTesting::SetStoryListShape(c.shape);
        API_StoryInfo first, second;
        BNClear(first);
        BNClear(second);
        ASSERT_EQ(ACAPI_Environment(APIEnv_GetStorySettingsID, &first), NoError);
        ASSERT_EQ(ACAPI_Environment(APIEnv_GetStorySettingsID, &second), NoError);
        EXPECT_EQ(std::make_tuple(first.firstStory, first.lastStory), std::make_tuple(0, 2)) << "the range stays whole";
        EXPECT_EQ(first.data != nullptr, c.handle);
        if (!c.handle) continue;
        EXPECT_NE(first.data, second.data) << "each call hands out its own handle";
        EXPECT_EQ(BMGetHandleSize(reinterpret_cast<GSHandle>(first.data)), c.records * GSSize(sizeof(API_StoryType)));
        BMKillHandle(reinterpret_cast<GSHandle*>(&first.data));
        BMKillHandle(reinterpret_cast<GSHandle*>(&second.data));
    }
}

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
        {APIStory_GoTo, -1, false, APIERR_BADPARS},     // below the first story
        {APIStory_GoTo, 3, false, APIERR_BADPARS},      // above the last
        {0, 1, false, APIERR_BADPARS},                  // no such action: refused, not "needs a command"
        {0, 1, true, APIERR_BADPARS},
        {99, 1, true, APIERR_BADPARS},
        {APIStory_InsAbove, 2, false, APIERR_NEEDSUNDOSCOPE},
        {APIStory_InsAbove, 2, true, NoError},
    };
    for (const Case& c : cases) {
        HostTesting::ResetProject();
        const auto before = HostTesting::UndoStepNames();
        const GSErrCode code = c.inCommand ? Command([&] { return StoryCommand(c.action, c.index); }) : StoryCommand(c.action, c.index);
        EXPECT_EQ(code, c.expected) << "action " << c.action << " index " << c.index;
        const bool inserted = c.expected == NoError && c.action == APIStory_InsAbove;
        EXPECT_EQ(HostTesting::GetStories().size(), inserted ? 4u : 3u) << "action " << c.action;
        EXPECT_EQ(HostTesting::CurrentStory(), c.expected == NoError && c.action == APIStory_GoTo ? c.index : 0);
        EXPECT_EQ(HostTesting::UndoStepNames().size(), before.size() + (inserted ? 1 : 0));
    }
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(HostTesting::GetStories().size(), 3u) << "the inserted story goes with its step";
}

TEST_F(StoriesAndPhases, LayersFoundCreatedAndHiddenByNameRollBackWithTheirStepAndStayOutsideOne)
{
    const Int32 count = AttributeCount(API_LayerID);
    // Inside a step that fails: the new layer and the hidden flag of an old one go back.
    const GSErrCode failed = Command([&] {
        API_Attribute created = LayerNamed("__Test Phase");
        EXPECT_EQ(ACAPI_Attribute_Get(&created), APIERR_BADNAME);
        created = LayerNamed("__Test Phase");
        EXPECT_EQ(ACAPI_Attribute_Create(&created), NoError);
        API_Attribute general = LayerNamed("General");
        EXPECT_EQ(ACAPI_Attribute_Get(&general), NoError);
        general.header.flags = Int16(general.header.flags | APILay_Hidden);
        EXPECT_EQ(ACAPI_Attribute_Modify(&general), NoError);
        return APIERR_CANCEL;
    });
    EXPECT_EQ(failed, APIERR_CANCEL);
    EXPECT_EQ(AttributeCount(API_LayerID), count);
    EXPECT_EQ(AttrCode(API_LayerID, 0, "__Test Phase"), APIERR_BADNAME);
    EXPECT_EQ(GetAttr(API_LayerID, 1).header.flags, 0);

    // A committed step keeps them until it is undone.
    ASSERT_EQ(Command([&] {
        API_Attribute created = LayerNamed("__Test Phase");
        ACAPI_Attribute_Create(&created);
        created.header.flags = Int16(APILay_Hidden | 0x0100);
        return ACAPI_Attribute_Modify(&created);
    }), NoError);
    EXPECT_EQ(GetAttr(API_LayerID, 0, "__Test Phase").header.flags, Int16(APILay_Hidden | 0x0100));
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(AttrCode(API_LayerID, 0, "__Test Phase"), APIERR_BADNAME);

    // Outside a step: lasting, and no step recorded.
    const size_t steps = HostTesting::UndoStepNames().size();
    API_Attribute created = LayerNamed("__Test Phase");
    ASSERT_EQ(ACAPI_Attribute_Create(&created), NoError);
    API_Attribute found = LayerNamed("__Test Phase");
    ASSERT_EQ(ACAPI_Attribute_Get(&found), NoError);
    EXPECT_EQ(found.header.index, created.header.index);
    found.header.flags = APILay_Hidden;
    ASSERT_EQ(ACAPI_Attribute_Modify(&found), NoError);
    EXPECT_EQ(GetAttr(API_LayerID, created.header.index).header.flags, APILay_Hidden);
    EXPECT_EQ(HostTesting::UndoStepNames().size(), steps);
    HostTesting::Undo();
    EXPECT_EQ(GetAttr(API_LayerID, 0, "__Test Phase").header.flags, APILay_Hidden) << "nothing to undo it with";
}

TEST_F(StoriesAndPhases, EveryPhaseTypeTakesALayerOnlyChangeAndUndoPutsEachBack)
{
    const std::vector<API_Guid> guids = MixedProject::Add(MixedProject::Rotation().size());
    ASSERT_EQ(guids.size(), MixedProject::Rotation().size());
    std::vector<API_Element> before;
    for (const API_Guid& guid : guids) before.push_back(Read(guid));
    ASSERT_EQ(Command([&] {
        for (const API_Guid& guid : guids) {
            API_Element e = Cleared();
            e.header.guid = guid;
            EXPECT_EQ(ACAPI_Element_Get(&e), NoError);
            e.header.layer = 5;
            e.wall.thickness = 99.0;   // not flagged: must not reach any element
            API_Element mask = Cleared();
            ACAPI_ELEMENT_MASK_SET(mask, header, layer);
            EXPECT_EQ(ACAPI_Element_Change(&e, &mask, nullptr, 0, true), NoError) << "type " << before[&guid - &guids[0]].header.type.typeID;
        }
        return NoError;
    }), NoError);
    for (size_t i = 0; i < guids.size(); ++i) {
        API_Element expected = before[i];
        expected.header.layer = 5;
        EXPECT_TRUE(Same(Read(guids[i]), expected)) << "type " << before[i].header.type.typeID;
    }
    // A layer that is not there is refused and changes nothing.
    ASSERT_EQ(Command([&] {
        API_Element e = Read(guids[0]);
        e.header.layer = 999;
        API_Element mask = Cleared();
        ACAPI_ELEMENT_MASK_SET(mask, header, layer);
        EXPECT_EQ(ACAPI_Element_Change(&e, &mask, nullptr, 0, true), APIERR_BADINDEX);
        return NoError;
    }), NoError);
    EXPECT_EQ(Read(guids[0]).header.layer, 5);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    for (size_t i = 0; i < guids.size(); ++i) EXPECT_TRUE(Same(Read(guids[i]), before[i])) << "type " << before[i].header.type.typeID;
}

}  // namespace
