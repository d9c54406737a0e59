#include "MixedProject.hpp"

#include <map>

#include "HostTesting.hpp"

namespace MixedProject {

const std::vector<API_ElemTypeID>& Rotation()
{
    static const std::vector<API_ElemTypeID> rotation = {
        API_WallID,     API_WallID,  API_DoorID,   API_WindowID,  API_SlabID,      API_ColumnID,
        API_BeamID,     API_RoofID,  API_ZoneID,   API_LineID,    API_ArcID,       API_TextID,
        API_PolyLineID, API_HatchID, API_SplineID, API_HotspotID, API_DimensionID, API_ObjectID};
    return rotation;
}

std::vector<API_Guid> Add(std::size_t count)
{
    // One record and memo per type, made once: building 100,000 elements stays quick.
    struct Template {
        API_Element record;
        API_ElementMemo memo;
    };
    std::map<API_ElemTypeID, Template> templates;
    for (API_ElemTypeID type : Rotation()) {
        Template& t = templates[type];
        BNClear(t.memo);
        t.record = HostTesting::MakeElement(type, &t.memo);
    }
    const std::vector<API_ElemTypeID>& rotation = Rotation();
    std::vector<API_Guid> guids;
    guids.reserve(count);
    API_Guid lastWall = APINULLGuid;
    bool thin = false;
    for (std::size_t i = 0; i < count; ++i) {
        const API_ElemTypeID type = rotation[i % rotation.size()];
        API_Element e = templates[type].record;
        if (type == API_WallID) {
            e.wall.thickness = thin ? kThinWall : kThickWall;
            thin = !thin;
        }
        if (type == API_DoorID) e.door.owner = lastWall;
        if (type == API_WindowID) e.window.owner = lastWall;
        const API_Guid guid = HostTesting::AddElement(e, &templates[type].memo);
        if (type == API_WallID && e.wall.thickness == kThickWall) lastWall = guid;
        guids.push_back(guid);
    }
    for (auto& entry : templates) ACAPI_DisposeElemMemoHdls(&entry.second.memo);
    return guids;
}

}  // namespace MixedProject
