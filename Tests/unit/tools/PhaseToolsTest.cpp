// Build-phase tools: every sorted type lands on its phase's hidden layer in one undo step
// (walls split at the threshold), a second run reuses the layers, undo restores every layer
// and element, and revealing shows one phase or all eight, reporting missing or refused layers.
#include <map>

#include "MixedProject.hpp"
#include "QuillmereTest.hpp"

namespace {

const char* const kLayers[] = {"__PHASE_01_SHELL",      "__PHASE_02_PARTITIONS", "__PHASE_03_OPENINGS",
                               "__PHASE_04_STRUCTURAL", "__PHASE_05_ROOF",       "__PHASE_06_ZONES",
                               "__PHASE_07_ANNOTATION", "__PHASE_08_FURNITURE"};

class PhaseTools : public QuillmereTest {
protected:
    // The layer of that name, or index 0 when there is none.
    static API_Attribute Layer(const std::string& name)
    {
        API_Attribute layer;
        BNClear(layer);
        layer.header.typeID = API_LayerID;
        std::strncpy(layer.header.name, name.c_str(), sizeof layer.header.name - 1);
        HostTesting::ClearFailures();
        if (ACAPI_Attribute_Get(&layer) != NoError) layer.header.index = 0;
        return layer;
    }
    static Int32 LayerCount()
    {
        Int32 count = 0;
        ACAPI_Attribute_GetNum(API_LayerID, &count);
        return count;
    }
    json Prepare(const json& input = json::object())
    {
        const ToolResult result = Run("prepare_build_phases", input);
        EXPECT_TRUE(result.success) << result.error;
        return json::parse(result.message);
    }
    static std::vector<int> Counts(const json& summary)
    {
        std::vector<int> counts;
        for (const json& phase : summary["phases"]) counts.push_back(phase["count"]);
        return counts;
    }
};

TEST_F(PhaseTools, EachTypeLandsOnItsHiddenPhaseLayerInOneUndoStepThatUndoesEverything)
{
    MixedProject::Add(2 * MixedProject::Rotation().size());
    API_Element wall = HostTesting::MakeElement(API_WallID);
    wall.wall.thickness = 0.2;  // exactly the default threshold: the envelope
    const API_Guid exact = HostTesting::AddElement(wall);
    wall.wall.thickness = 0.19;
    const API_Guid below = HostTesting::AddElement(wall);
    const API_Guid unsorted = HostTesting::AddElement(HostTesting::MakeElement(API_HotlinkID));
    std::map<API_Guid, API_Element> before;
    for (const API_Guid& guid : HostTesting::AllElements()) HostTesting::GetElement(guid, &before[guid]);
    const Int32 layersBefore = LayerCount();
    const size_t steps = UndoStepCount();

    const ToolResult result = Run("prepare_build_phases", json::object());
    ASSERT_TRUE(result.success) << result.error;
    const json summary = json::parse(result.message);
    EXPECT_EQ(Counts(summary), (std::vector<int>{3, 3, 4, 6, 2, 2, 16, 2}));
    EXPECT_EQ(summary["total_classified"], 38);
    EXPECT_EQ(UndoStepCount(), steps + 1);
    EXPECT_EQ(LayerCount(), layersBefore + 8);

    const std::map<API_ElemTypeID, int> phaseOf = {
        {API_DoorID, 3},   {API_WindowID, 3},  {API_SlabID, 4},      {API_ColumnID, 4},
        {API_BeamID, 4},   {API_RoofID, 5},    {API_ZoneID, 6},      {API_LineID, 7},
        {API_ArcID, 7},    {API_TextID, 7},    {API_PolyLineID, 7},  {API_HatchID, 7},
        {API_SplineID, 7}, {API_HotspotID, 7}, {API_DimensionID, 7}, {API_ObjectID, 8}};
    for (const auto& [guid, old] : before) {
        API_Element now;
        ASSERT_TRUE(HostTesting::GetElement(guid, &now));
        const API_ElemTypeID type = old.header.type.typeID;
        int phase = 0;
        if (type == API_WallID)
            phase = old.wall.thickness >= 0.2 ? 1 : 2;
        else if (phaseOf.count(type))
            phase = phaseOf.at(type);
        const Int32 expected = phase == 0 ? old.header.layer : Layer(kLayers[phase - 1]).header.index;
        EXPECT_EQ(now.header.layer, expected) << "type " << type;
        API_Element onlyLayer = now;
        onlyLayer.header.layer = old.header.layer;
        EXPECT_EQ(FirstDifference(onlyLayer, old), sizeof(API_Element))
            << "type " << type << " changed beyond its layer";
    }
    EXPECT_EQ(Element(Text(exact)).header.layer, Layer(kLayers[0]).header.index);
    EXPECT_EQ(Element(Text(below)).header.layer, Layer(kLayers[1]).header.index);
    EXPECT_EQ(Element(Text(unsorted)).header.layer, before[unsorted].header.layer);
    for (const char* name : kLayers) EXPECT_EQ(Layer(name).header.flags & APILay_Hidden, APILay_Hidden) << name;

    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(LayerCount(), layersBefore);
    for (const char* name : kLayers) EXPECT_EQ(Layer(name).header.index, 0) << name;
    for (const auto& [guid, old] : before) EXPECT_EQ(FirstDifference(Element(Text(guid)), old), sizeof(API_Element));
}

TEST_F(PhaseTools, ASecondRunReusesAndRehidesTheLayersAndCountsAgainThresholdAsRead)
{
    MixedProject::Add(MixedProject::Rotation().size());
    // A user's layer that already carries a phase name is taken over with its other bits.
    API_Attribute own = HostTesting::MakeLayer(kLayers[4], APILay_Locked);
    ASSERT_EQ(ACAPI_Attribute_Create(&own), NoError);
    const Int32 layersBefore = LayerCount();
    EXPECT_EQ(Counts(Prepare({{"wall_thickness_threshold", 0.35}})), (std::vector<int>{0, 2, 2, 3, 1, 1, 8, 1}));
    EXPECT_EQ(LayerCount(), layersBefore + 7);
    EXPECT_EQ(Layer(kLayers[4]).header.index, own.header.index);
    EXPECT_EQ(Layer(kLayers[4]).header.flags, Int16(APILay_Locked | APILay_Hidden));
    ASSERT_TRUE(Run("reveal_build_phase", {{"phase", 0}}).success);

    const json again = Prepare({{"wall_thickness_threshold", 0}});
    EXPECT_EQ(Counts(again), (std::vector<int>{2, 0, 2, 3, 1, 1, 8, 1}));
    EXPECT_EQ(LayerCount(), layersBefore + 7) << "no second layer of any name";
    for (const char* name : kLayers) EXPECT_EQ(Layer(name).header.flags & APILay_Hidden, APILay_Hidden) << name;
}

TEST_F(PhaseTools, RefusalsInsideTheStepAreSkippedAndLeftOutOfTheCounts)
{
    const std::vector<API_Guid> guids = MixedProject::Add(MixedProject::Rotation().size());
    struct Case {
        const char* what;
        HostTesting::FailureRule rule;
        std::vector<int> counts;
    };
    auto rule = [](const char* function) {
        HostTesting::FailureRule r;
        r.function = function;
        return r;
    };
    HostTesting::FailureRule roofLayer = rule("ACAPI_Attribute_Create");
    roofLayer.name = kLayers[4];
    HostTesting::FailureRule oneSlab = rule("ACAPI_Element_Change");
    oneSlab.guid = guids[4];
    HostTesting::FailureRule wallRead = rule("ACAPI_Element_Get");
    wallRead.guid = guids[0];
    const Case cases[] = {
        {"the roof layer cannot be made", roofLayer, {1, 1, 2, 3, 0, 1, 8, 1}},
        {"one slab refuses its layer", oneSlab, {1, 1, 2, 2, 1, 1, 8, 1}},
        {"a wall cannot be read", wallRead, {0, 1, 2, 3, 1, 1, 8, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::InjectFailure(c.rule);
        EXPECT_EQ(Counts(Prepare()), c.counts);
        HostTesting::ClearFailures();
        ASSERT_TRUE(UndoLast());
    }
    EXPECT_EQ(Layer(kLayers[4]).header.index, 0);
}

TEST_F(PhaseTools, RevealingReportsMissingOrRefusedLayersAndRefusesOtherPhases)
{
    Prepare();
    HostTesting::DeleteAttribute(API_LayerID, Layer(kLayers[1]).header.index);
    HostTesting::FailureRule refuse;
    refuse.function = "ACAPI_Attribute_Modify";
    refuse.name = kLayers[2];
    HostTesting::InjectFailure(refuse);
    const json all = Data(Run("reveal_build_phase", {{"phase", 0}}))["revealed"];
    EXPECT_EQ(all[1],
              json({{"label", "Internal partitions"}, {"phase", 2}, {"reason", "layer not found"}, {"shown", false}}));
    EXPECT_EQ(all[2], json({{"label", "Doors and windows"}, {"phase", 3}, {"shown", false}}));
    EXPECT_EQ(all[3]["shown"], true);
    EXPECT_EQ(Layer(kLayers[3]).header.flags & APILay_Hidden, 0);
    for (const json& input : {json{{"phase", 9}}, json{{"phase", -1}}}) {
        HostTesting::ClearCallLog();
        EXPECT_EQ(Run("reveal_build_phase", input).error, "phase must be 0-8");
        EXPECT_TRUE(HostTesting::CallLog().empty());
    }
}

}  // namespace
