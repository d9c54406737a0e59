// The test interface of module files.

#include "HostTestingModules.hpp"

#include "modules/Hotlinks.hpp"
#include "modules/ModuleFile.hpp"
#include "project/Project.hpp"

using namespace HostInternal;

namespace HostTesting {

namespace {

// Stores a record made by MakeElement (and changed by the caller) with the memo MakeElement
// gives its type.
void Insert(Project& project, API_Element e, Int16 floorInd, Int32 layer = 1)
{
    API_ElementMemo memo;
    BNClear(memo);
    MakeElement(e.header.type.typeID, &memo);
    e.header.floorInd = floorInd;
    e.header.layer = layer;
    StoredMemo stored = CopyFromMemo(&memo);
    DisposeMemo(&memo);
    project.InsertElement(e, stored.IsEmpty() ? nullptr : std::make_shared<StoredMemo>(std::move(stored)));
}

API_Guid InsertWall(Project& project, double x1, double y1, double x2, double y2, Int32 layer)
{
    API_Element wall = MakeElement(API_WallID);
    wall.wall.begC = {x1, y1};
    wall.wall.endC = {x2, y2};
    wall.header.layer = layer;
    return project.InsertElement(wall, nullptr);
}

}  // namespace

GSErrCode WriteProjectModule(const std::string& path) { return WriteModule(TheProject(), path); }

GSErrCode WriteFixtureModule(const std::string& path, size_t extraWalls)
{
    Project fixture;
    LoadDefaultProject(fixture);
    fixture.name = "Module Fixture";
    const StoredAttribute* bearing = fixture.FindAttributeByName(API_LayerID, "Structural - Bearing");
    const Int32 layer = bearing ? bearing->record.header.index : 1;

    const API_Guid south = InsertWall(fixture, 0, 0, 6, 0, layer);
    const API_Guid east = InsertWall(fixture, 6, 0, 6, 4, layer);
    InsertWall(fixture, 6, 4, 0, 4, layer);
    InsertWall(fixture, 0, 4, 0, 0, layer);

    API_Element door = MakeElement(API_DoorID);
    door.door.owner = south;
    door.door.objLoc = 2.0;
    Insert(fixture, door, 0);
    API_Element window = MakeElement(API_WindowID);
    window.window.owner = east;
    window.window.objLoc = 2.0;
    Insert(fixture, window, 0);
    Insert(fixture, MakeElement(API_SlabID), 0);
    API_Element zone = MakeElement(API_ZoneID);
    GS::ucsncpy(zone.zone.roomName, u"Living", 256);
    Insert(fixture, zone, 0);
    Insert(fixture, MakeElement(API_TextID), 0);
    Insert(fixture, MakeElement(API_PolyLineID), 1);
    Insert(fixture, MakeElement(API_HatchID), 1);
    for (size_t i = 0; i < extraWalls; ++i) InsertWall(fixture, 10.0 + double(i), 0, 10.0 + double(i), 3, layer);
    return WriteModule(fixture, path);
}

GSErrCode ReadModuleSummary(const std::string& path, ModuleSummary* summary, std::string* why)
{
    ModuleContents contents;
    GSErrCode err = ReadModule(path, &contents, why);
    if (err != NoError || summary == nullptr) return err;
    *summary = ModuleSummary();
    summary->version = contents.version;
    summary->projectName = contents.projectName;
    for (const Story& s : contents.stories)
        summary->stories.push_back(StoryFixture{s.index, s.level, GS::Utf16ToUtf8(s.name)});
    summary->attributes = contents.attributes;
    for (const ModuleElement& e : contents.elements)
        summary->elements.push_back(
            ModuleElementInfo{e.record.header.guid, e.record.header.type.typeID, e.record.header.floorInd});
    return NoError;
}

GSErrCode LoadModuleAsProject(const std::string& path)
{
    ModuleContents contents;
    GSErrCode err = ReadModule(path, &contents);
    if (err == NoError) HostInternal::LoadModuleAsProject(contents, TheProject());
    return err;
}

size_t HotlinkNodeCount() { return HostInternal::HotlinkNodeCount(); }

}  // namespace HostTesting
