// The build-phase tools: each type sorted onto its phase's hidden layer (walls split at the
// thickness threshold) in one undo step, a second run reusing the layers, and refusals inside the
// step skipped and left out of the counts.
#include <map>

#include "MixedProject.hpp"
#include "QuillmereTest.hpp"

namespace {

const char* const kLayers[] = {"__PHASE_01_SHELL",      "__PHASE_02_PARTITIONS", "__PHASE_03_OPENINGS",
                               "__PHASE_04_STRUCTURAL", "__PHASE_05_ROOF",       "__PHASE_06_ZONES",
                               "__PHASE_07_ANNOTATION", "__PHASE_08_FURNITURE"};
const char* const kLabels[] = {
    "Building envelope", "Internal partitions", "Doors and windows", "Slabs, columns, beams",
    "Roof structure",    "Room labels",         "Annotation",        "Furniture and fittings"};

class PhaseTools : public QuillmereTest {
protected:
    // The layer of that name, or index 0 when there is none.
    static API_Attribute Layer(const std::string& name)
    {
        API_Attribute layer = GetAttr(API_LayerID, 0, name.c_str());
        if (AttrCode(API_LayerID, 0, name.c_str()) != NoError) layer.header.index = 0;
        return layer;
    }
    std::vector<int> Counts(const json& input = json::object())
    {
        std::vector<int> counts;
        const json summary = Data(Run("prepare_build_phases", input));
        for (const json& phase : summary["phases"]) {
            const size_t i = counts.size();
            EXPECT_EQ(
                phase,
                json({{"count", phase["count"]}, {"label", kLabels[i]}, {"layer", kLayers[i]}, {"phase", i + 1}}));
            counts.push_back(phase["count"]);
        }
        return counts;
    }
};

TEST_F(PhaseTools, EachTypeLandsOnItsHiddenPhaseLayerInOneStepThatUndoesEverything)
{
    MixedProject::Add(MixedProject::Rotation().size());
    API_Element wall = HostTesting::MakeElement(API_WallID);
    wall.wall.thickness = 0.2;  // exactly the default threshold: the envelope
    HostTesting::AddElement(wall);
    HostTesting::AddElement(HostTesting::MakeElement(API_HotlinkID));  // no phase
    const auto before = TakeSnapshot();
    EXPECT_EQ(Counts(), (std::vector<int>{2, 1, 2, 3, 1, 1, 8, 1}));
    const std::map<API_ElemTypeID, int> phaseOf = {
        {API_DoorID, 3},    {API_WindowID, 3},   {API_SlabID, 4},      {API_ColumnID, 4},
        {API_BeamID, 4},    {API_RoofID, 5},     {API_ZoneID, 6},      {API_LineID, 7},
        {API_ArcID, 7},     {API_TextID, 7},     {API_HatchID, 7},     {API_SplineID, 7},
        {API_HotspotID, 7}, {API_PolyLineID, 7}, {API_DimensionID, 7}, {API_ObjectID, 8}};
    for (const ElementState& old : before) {
        const API_Element now = Read(old.record.header.guid);
        const API_ElemTypeID type = old.record.header.type.typeID;
        const int phase = type == API_WallID ? (old.record.wall.thickness >= 0.2 ? 1 : 2)
                                             : (phaseOf.count(type) ? phaseOf.at(type) : 0);
        EXPECT_EQ(now.header.layer, phase == 0 ? old.record.header.layer : Layer(kLayers[phase - 1]).header.index)
            << "type " << type;
    }
    for (const char* name : kLayers) EXPECT_EQ(Layer(name).header.flags & APILay_Hidden, APILay_Hidden) << name;
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
    EXPECT_EQ(Layer(kLayers[0]).header.index, 0);
}

TEST_F(PhaseTools, ASecondRunReusesTheLayersAndReadsTheThresholdAgain)
{
    MixedProject::Add(MixedProject::Rotation().size());
    API_Attribute own = HostTesting::MakeLayer(kLayers[4], APILay_Locked);  // a user's layer of a phase's name
    ASSERT_EQ(ACAPI_Attribute_Create(&own), NoError);
    const Int32 layers = AttributeCount(API_LayerID);
    EXPECT_EQ(Counts({{"wall_thickness_threshold", 0.35}}), (std::vector<int>{0, 2, 2, 3, 1, 1, 8, 1}));
    EXPECT_EQ(Layer(kLayers[4]).header.flags, Int16(APILay_Locked | APILay_Hidden));
    ASSERT_TRUE(Run("reveal_build_phase", {{"phase", 0}}).success);
    EXPECT_EQ(Counts({{"wall_thickness_threshold", 0}}), (std::vector<int>{2, 0, 2, 3, 1, 1, 8, 1}));
    EXPECT_EQ(AttributeCount(API_LayerID), layers + 7) << "no second layer of any name";
    EXPECT_EQ(Layer(kLayers[0]).header.flags & APILay_Hidden, APILay_Hidden) << "hidden again";
}

TEST_F(PhaseTools, RefusalsInsideTheStepAreSkippedAndLeftOutOfTheCounts)
{
    const std::vector<API_Guid> guids = MixedProject::Add(MixedProject::Rotation().size());
    HostTesting::FailureRule roofLayer{"ACAPI_Attribute_Create"}, oneSlab{"ACAPI_Element_Change"},
        wallRead{"ACAPI_Element_Get"};
    roofLayer.name = kLayers[4];
    oneSlab.guid = guids[4];
    wallRead.guid = guids[0];
    const std::pair<HostTesting::FailureRule, std::vector<int>> rows[] = {
        {roofLayer, {1, 1, 2, 3, 0, 1, 8, 1}},
        {oneSlab, {1, 1, 2, 2, 1, 1, 8, 1}},
        {wallRead, {0, 1, 2, 3, 1, 1, 8, 1}},
    };
    for (const auto& [rule, counts] : rows) {
        SCOPED_TRACE(rule.function);
        HostTesting::InjectFailure(rule);
        EXPECT_EQ(Counts(), counts);
        HostTesting::ClearFailures();
        ASSERT_TRUE(UndoLast());
    }
}

}  // namespace
