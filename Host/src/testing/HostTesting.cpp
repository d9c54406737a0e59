// The test interface of the emulated host.

#include "HostTesting.hpp"

#include "gs/GuidSource.hpp"
#include "gs/Location.hpp"
#include "gs/Memory.hpp"
#include "project/Project.hpp"
#include "project/ProjectRevision.hpp"
#include "project/WorkingExtent.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace HostTesting {

namespace {

constexpr UInt64 kGuidSeed = 0x5EED5EED12345678ull;

void PutPolygon(StoredMemo& memo, const std::vector<API_Coord>& points, bool closed)
{
    std::vector<API_Coord> coords(1, API_Coord{0, 0});
    coords.insert(coords.end(), points.begin(), points.end());
    if (closed) coords.push_back(points.front());
    memo.SetRecords(MemoCoords, coords);
    memo.SetRecords(MemoPends, std::vector<Int32>{0, Int32(coords.size()) - 1});
}

API_Polygon PolygonCounts(const std::vector<API_Coord>& points, bool closed)
{
    return API_Polygon{Int32(points.size()) + (closed ? 1 : 0), 1, 0};
}

}  // namespace

void ResetProject(GuidSeed guids)
{
    Project& project = TheProject();
    LoadDefaultProject(project);
    project.SetUndoLimit(Project::kDefaultUndoLimit);
    if (guids == GuidSeed::Fixed)
        ResetGuidSource(kGuidSeed);
    else
        SeedGuidSourceAtRandom();
    ClearFailures();
    ClearCalls();
    SetMainThreadToCurrent();
    ResetBadFreeCount();
    SetStoryListShape(StoryListShape::Full);
}

void SetStories(const std::vector<StoryFixture>& stories)
{
    StoryList& list = TheProject().StoriesForChange();
    list.stories.clear();
    for (const StoryFixture& s : stories) list.stories.push_back(Story{s.index, s.level, 3.0, GS::Utf8ToUtf16(s.name)});
    list.current = stories.empty() ? 0 : stories.front().index;
    for (const StoryFixture& s : stories)
        if (s.index == 0) list.current = 0;
}

std::vector<StoryFixture> GetStories()
{
    std::vector<StoryFixture> out;
    for (const Story& s : TheProject().Stories().stories)
        out.push_back(StoryFixture{s.index, s.level, GS::Utf16ToUtf8(s.name)});
    return out;
}

Int16 CurrentStory() { return TheProject().Stories().current; }

void SetProjectName(const std::optional<std::string>& name)
{
    TheProject().untitled = !name.has_value();
    TheProject().name = name.value_or("");
}

API_Element MakeElement(API_ElemTypeID typeID, API_ElementMemo* memo)
{
    Project& project = TheProject();
    API_Element e;
    BNClear(e);
    auto it = project.Defaults().find(typeID);
    if (it != project.Defaults().end()) e = it->second.record;
    e.header.type = MakeElemType(typeID);
    StoredMemo m;
    const std::vector<API_Coord> rect = {{0, 0}, {4, 0}, {4, 3}, {0, 3}};
    switch (typeID) {
    case API_WallID:
        e.wall.begC = {0, 0};
        e.wall.endC = {5, 0};
        break;
    case API_ColumnID: {
        e.column.origoPos = {1, 1};
        if (it != project.Defaults().end() && it->second.memo) m = *it->second.memo;
        e.column.nSegments = Int32(m.Count<API_ColumnSegmentType>(MemoColumnSegments));
        break;
    }
    case API_BeamID: {
        e.beam.begC = {0, 0};
        e.beam.endC = {4, 0};
        if (it != project.Defaults().end() && it->second.memo) m = *it->second.memo;
        e.beam.nSegments = Int32(m.Count<API_BeamSegmentType>(MemoBeamSegments));
        break;
    }
    case API_WindowID: e.window.objLoc = 1.5; break;
    case API_DoorID: e.door.objLoc = 3.5; break;
    case API_ObjectID:
        e.object.libInd = 1;
        e.object.pos = {2, 2};
        break;
    case API_SlabID:
        e.slab.poly = PolygonCounts(rect, true);
        PutPolygon(m, rect, true);
        break;
    case API_RoofID:
        e.roof.poly = PolygonCounts(rect, true);
        PutPolygon(m, rect, true);
        break;
    case API_ZoneID:
        e.zone.poly = PolygonCounts(rect, true);
        PutPolygon(m, rect, true);
        e.zone.pos = {2, 1.5};
        break;
    case API_HatchID:
        e.hatch.poly = PolygonCounts(rect, true);
        PutPolygon(m, rect, true);
        break;
    case API_PolyLineID: {
        std::vector<API_Coord> pts = {{0, 0}, {2, 0}, {2, 2}};
        e.polyLine.poly = PolygonCounts(pts, false);
        PutPolygon(m, pts, false);
        break;
    }
    case API_LineID:
        e.line.begC = {0, 0};
        e.line.endC = {3, 4};
        break;
    case API_ArcID:
        e.arc.origC = {1, 1};
        e.arc.r = 2.0;
        e.arc.begAng = 0.0;
        e.arc.endAng = 1.5707963267948966;
        break;
    case API_TextID: {
        e.text.loc = {1, 2};
        const char content[] = "Fixture text";
        m.parts[MemoTextContent] = std::vector<char>(content, content + sizeof content);
        break;
    }
    case API_SplineID: {
        std::vector<API_Coord> pts = {{0, 0}, {1, 1}, {2, 0}};
        PutPolygon(m, pts, false);
        m.parts[MemoPends].reset();
        std::vector<API_SplineDir> dirs(pts.size() + 1);
        for (API_SplineDir& d : dirs) d = API_SplineDir{0, 0, 0};
        m.SetRecords(MemoBezierDirs, dirs);
        break;
    }
    case API_DimensionID: {
        e.dimension.refC = {0, -1};
        e.dimension.direction = {1, 0};
        e.dimension.nDimElem = 2;
        std::vector<API_DimElem> elems(2);
        for (API_DimElem& d : elems) BNClear(d);
        elems[0].base.loc = {0, 0};
        elems[1].base.loc = {5, 0};
        m.SetRecords(MemoDimElems, elems);
        break;
    }
    case API_HotspotID: e.hotspot.pos = {3, 3}; break;
    default: break;
    }
    if (memo != nullptr) CopyToMemo(m, APIMemoMask_All, memo);
    return e;
}

API_Guid AddElement(const API_Element& elem, const API_ElementMemo* memo)
{
    StoredMemo stored = CopyFromMemo(memo);
    return TheProject().InsertElement(elem,
                                      stored.IsEmpty() ? nullptr : std::make_shared<StoredMemo>(std::move(stored)));
}

API_Guid AddFixture(API_ElemTypeID typeID, Int16 floorInd, const API_Guid& owner)
{
    API_ElementMemo memo;
    BNClear(memo);
    API_Element e = MakeElement(typeID, &memo);
    e.header.floorInd = floorInd;
    if (typeID == API_WindowID) e.window.owner = owner;
    if (typeID == API_DoorID) e.door.owner = owner;
    if (const StoredElement* wall = TheProject().FindElement(owner)) e.header.floorInd = wall->record.header.floorInd;
    API_Guid guid = AddElement(e, &memo);
    DisposeMemo(&memo);
    return guid;
}

API_Guid AddWall(double x1, double y1, double x2, double y2, Int16 floorInd)
{
    API_Element e = MakeElement(API_WallID);
    e.wall.begC = {x1, y1};
    e.wall.endC = {x2, y2};
    e.header.floorInd = floorInd;
    return AddElement(e);
}

bool GetElement(const API_Guid& guid, API_Element* elem)
{
    const StoredElement* stored = TheProject().FindElement(guid);
    if (stored == nullptr) return false;
    if (elem != nullptr) *elem = stored->record;
    return true;
}

bool GetElementMemo(const API_Guid& guid, API_ElementMemo* memo)
{
    const StoredElement* stored = TheProject().FindElement(guid);
    if (stored == nullptr || memo == nullptr) return false;
    return CopyToMemo(stored->Memo(), APIMemoMask_All, memo) == NoError;
}

std::vector<API_Coord> GetPolygon(const API_Guid& guid)
{
    const StoredElement* stored = TheProject().FindElement(guid);
    if (stored == nullptr) return {};
    std::vector<API_Coord> coords = stored->Memo().Records<API_Coord>(MemoCoords);
    if (!coords.empty()) coords.erase(coords.begin());
    return coords;
}

bool ElementExists(const API_Guid& guid) { return TheProject().FindElement(guid) != nullptr; }
size_t ElementCount() { return TheProject().Elements().Count(); }
size_t ElementCount(API_ElemTypeID typeID) { return TheProject().Elements().Count(typeID); }
std::vector<API_Guid> AllElements() { return TheProject().Elements().AllInOrder(); }

void SetDefaults(const API_Element& elem, const API_ElementMemo* memo)
{
    Project& project = TheProject();
    ElementDefaults& d = project.Defaults()[elem.header.type.typeID];
    d.record = elem;
    if (memo != nullptr) d.memo = std::make_shared<StoredMemo>(CopyFromMemo(memo));
}

API_Element GetDefaults(API_ElemTypeID typeID)
{
    API_Element e;
    BNClear(e);
    auto it = TheProject().Defaults().find(typeID);
    if (it != TheProject().Defaults().end()) e = it->second.record;
    return e;
}

void SetDefaultSegmentCount(API_ElemTypeID typeID, Int32 count) { TheProject().DefaultSegmentCounts()[typeID] = count; }

void SetAttribute(const API_Attribute& attribute) { TheProject().PutAttribute(attribute); }

void DeleteAttribute(API_AttrTypeID typeID, Int32 index)
{
    Project& project = TheProject();
    API_Attribute record;
    BNClear(record);
    if (const StoredAttribute* existing = project.FindAttribute(typeID, index)) record = existing->record;
    record.header.typeID = typeID;
    record.header.index = index;
    project.PutAttribute(record, true);
}

bool GetAttribute(API_AttrTypeID typeID, Int32 index, API_Attribute* attribute)
{
    const StoredAttribute* a = TheProject().FindAttribute(typeID, index);
    if (a == nullptr || a->deleted) return false;
    if (attribute != nullptr) *attribute = a->record;
    return true;
}

API_Attribute MakeAttribute(API_AttrTypeID typeID, const std::string& name)
{
    API_Attribute a;
    BNClear(a);
    a.header.typeID = typeID;
    std::strncpy(a.header.name, name.c_str(), sizeof a.header.name - 1);
    return a;
}

API_Attribute MakeLayer(const std::string& name, Int16 flags)
{
    API_Attribute a = MakeAttribute(API_LayerID, name);
    a.header.flags = flags;
    return a;
}

API_Attribute MakePen(Int32 index, double red, double green, double blue, double width)
{
    API_Attribute a;
    BNClear(a);
    a.header.typeID = API_PenID;
    a.header.index = index;
    std::snprintf(a.header.name, sizeof a.header.name, "Pen %d", int(index));
    a.pen.rgb = {red, green, blue};
    a.pen.width = width;
    return a;
}

Int32 AddLibraryPart(Int32 typeID, const std::string& name, double a, double b)
{
    std::vector<LibraryPartData>& library = TheProject().Library();
    LibraryPartData part;
    part.typeID = typeID;
    part.name = GS::Utf8ToUtf16(name);
    part.a = a;
    part.b = b;
    library.push_back(part);
    return Int32(library.size());
}

void InjectFailure(const FailureRule& rule) { AddFailureRule(rule); }

void FailNextCall(const std::string& function, GSErrCode code, int skip)
{
    FailureRule rule;
    rule.function = function;
    rule.code = code;
    rule.skip = skip;
    rule.times = 1;
    AddFailureRule(rule);
}

void FailAllocation(int nth, int count) { HostInternal::FailAllocation(nth, count); }

void ClearFailures()
{
    ClearFailureRules();
    ClearAllocationFailures();
}

std::vector<std::string> UndoStepNames()
{
    std::vector<std::string> names;
    for (const auto& step : TheProject().Steps()) names.push_back(step->name);
    return names;
}

GSErrCode Undo() { return TheProject().UndoLastStep() ? NoError : APIERR_GENERAL; }

void SetUndoLimit(size_t steps) { TheProject().SetUndoLimit(steps); }

bool InUndoableCommand() { return TheProject().InCommand(); }

GSErrCode Redo() { return TheProject().RedoLastStep() ? NoError : APIERR_GENERAL; }

std::vector<std::string> RedoStepNames()
{
    std::vector<std::string> names;
    for (const auto& step : TheProject().RedoSteps()) names.push_back(step->name);
    return names;
}

std::uint64_t ProjectRevision() { return HostInternal::ProjectRevision(); }

std::uint64_t WaitForProjectChange(std::uint64_t seen, int timeoutMs)
{
    return HostInternal::WaitForProjectChange(seen, timeoutMs);
}

double WorkingExtent() { return HostInternal::kWorkingExtent; }

Int64 LiveHandleCount() { return HostInternal::LiveHandleCount(); }
Int64 LiveLocationCount() { return HostInternal::LiveLocationCount(); }
Int64 BadFreeCount() { return HostInternal::BadFreeCount(); }

}  // namespace HostTesting
