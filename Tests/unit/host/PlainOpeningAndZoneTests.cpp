// Openings made without a marker (plain defaults and create, as a layout builder makes them):
// what the host accepts, what it refuses, what it lists. (Zones round-trip with every other
// type in the lifecycle test.)

#include <cmath>

#include "QuillmereTest.hpp"

namespace {

class PlainElements : public HostTest {
protected:
    // A door or window from the plain defaults, in wall at objLoc.
    static API_Element Opening(API_ElemTypeID typeID, const API_Guid& owner, double objLoc, Int16 floorInd = 0)
    {
        API_Element e = Cleared(typeID);
        e.header.floorInd = floorInd;
        EXPECT_EQ(ACAPI_Element_GetDefaults(&e, nullptr), NoError);
        API_Guid& ownerField = typeID == API_DoorID ? e.door.owner : e.window.owner;
        double& locField = typeID == API_DoorID ? e.door.objLoc : e.window.objLoc;
        ownerField = owner;
        locField = objLoc;
        return e;
    }
    static GSErrCode CreatePlain(API_Element e, API_Guid* guid = nullptr)
    {
        ScopedMemo memo;
        const GSErrCode code = Command([&] { return ACAPI_Element_Create(&e, memo.get()); });
        if (guid != nullptr) *guid = e.header.guid;
        return code;
    }
    static GSErrCode CreateWithMarker(API_Element e)
    {
        API_SubElement marker;
        BNClear(marker);
        marker.subType = APISubElement_MainMarker;
        const GSErrCode code = Command([&] { return ACAPI_Element_CreateExt(&e, nullptr, 1, &marker); });
        ACAPI_DisposeElemMemoHdls(&marker.memo);
        return code;
    }
};

TEST_F(PlainElements, OpeningsWithoutAMarkerPassTheSameOwnerAndPositionChecksAsWithOne)
{
    const API_Guid wall = HostTesting::AddWall(0, 0, 4, 0, 1);  // 4 m long, story 1
    const API_Guid slab = HostTesting::AddFixture(API_SlabID, 1);
    using Spoil = std::function<void(API_Element&)>;
    const auto width = [](API_Element& e) -> double& {
        return e.header.type.typeID == API_DoorID ? e.door.openingBase.width : e.window.openingBase.width;
    };
    const struct {
        const char* what;
        API_Guid owner;
        double objLoc;
        Spoil spoil;
        GSErrCode code;
    } cases[] = {
        {"at the wall's end", wall, 4.0, nullptr, NoError},
        {"no owner", APINULLGuid, 1.0, nullptr, APIERR_BADID},
        {"owner is no wall", slab, 1.0, nullptr, APIERR_BADPARS},
        {"past the wall's end", wall, 4.5, nullptr, APIERR_BADPARS},
        {"position not a number", wall, std::nan(""), nullptr, APIERR_BADPARS},
        {"zero width", wall, 1.0, [&](API_Element& e) { width(e) = 0.0; }, APIERR_BADPARS},
    };
    for (API_ElemTypeID typeID : {API_DoorID, API_WindowID}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (typeID == API_DoorID ? " (door)" : " (window)"));
            API_Element e = Opening(typeID, c.owner, c.objLoc);
            if (c.spoil) c.spoil(e);
            const size_t before = HostTesting::ElementCount(typeID);
            API_Guid guid = APINULLGuid;
            EXPECT_EQ(CreatePlain(e, &guid), c.code);
            EXPECT_EQ(CreateWithMarker(e), c.code) << "the marker path judges the same record alike";
            EXPECT_EQ(HostTesting::ElementCount(typeID), before + (c.code == NoError ? 2 : 0));
            if (c.code != NoError) continue;
            const API_Element stored = Read(guid);
            EXPECT_EQ(stored.header.floorInd, 1) << "an opening stands on its wall's story, whatever it asked for";
            EXPECT_TRUE((typeID == API_DoorID ? stored.door.owner : stored.window.owner) == wall);
        }
    }
    // Both kinds are listed in creation order and go with their wall, whose flags follow them.
    EXPECT_EQ(ListOf(API_DoorID).size(), 2u);
    EXPECT_EQ(ListOf(API_WindowID).size(), 2u);
    const auto flags = [&] {
        API_Element w = Cleared(API_WallID);
        w.header.guid = wall;
        EXPECT_EQ(ACAPI_Element_Get(&w), NoError);
        return std::make_pair(w.wall.hasDoor, w.wall.hasWindow);
    };
    EXPECT_EQ(flags(), std::make_pair(true, true));
    GS::Array<API_Guid> doors;
    for (const API_Guid& door : ListOf(API_DoorID)) doors.Push(door);
    ASSERT_EQ(DeleteInCommand(doors), NoError);
    EXPECT_EQ(flags(), std::make_pair(false, true));
    ASSERT_EQ(DeleteInCommand(GS::Array<API_Guid>{wall}), NoError);
    EXPECT_EQ(HostTesting::ElementCount(API_WindowID), 0u);
}

}  // namespace
