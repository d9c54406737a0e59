// The records the host refuses, with their codes; a refusal stores nothing. Openings made
// without a marker (as a layout builder makes them) meet the same checks as with one.

#include <cmath>

#include "QuillmereTest.hpp"

namespace {

class ElementRecords : public HostTest {
protected:
    // Creates e with memo inside a command; on refusal checks that nothing was stored.
    static GSErrCode TryCreate(API_Element e, API_ElementMemo* memo = nullptr)
    {
        const size_t count = HostTesting::ElementCount();
        const GSErrCode code = CreateInCommand(e, memo);
        EXPECT_TRUE(code == NoError || HostTesting::ElementCount() == count) << "a refused element was stored";
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

TEST_F(ElementRecords, EveryBrokenRecordIsRefusedWithItsCode)
{
    const Int32 table = HostTesting::AddLibraryPart(APILib_ObjectID, "Table", 1.6, 0.9);
    HostTesting::DeleteAttribute(API_LayerID, 4);
    auto innerEndPastCoords = [](API_Element& e, API_ElementMemo& m) {
        e.slab.poly.nSubPolys = 2;
        BMKillHandle(&m.pends);
        m.pends = reinterpret_cast<Int32**>(BMAllocateHandle(3 * GSSize(sizeof(Int32)), ALLOCATE_CLEAR, 0));
        (*m.pends)[1] = e.slab.poly.nCoords + 1;
        (*m.pends)[2] = e.slab.poly.nCoords;
    };
    const API_Guid wall = HostTesting::AddWall(0, 0, 4, 0, 1), slab = HostTesting::AddFixture(API_SlabID, 1);
    const auto opening = [wall, slab](Int32 owner, double objLoc, double width = 0.9) {
        return [=](API_Element& e, API_ElementMemo&) {
            const bool door = e.header.type.typeID == API_DoorID;
            (door ? e.door.owner : e.window.owner) = owner == 0 ? APINULLGuid : owner == 1 ? wall : slab;
            (door ? e.door.objLoc : e.window.objLoc) = objLoc;
            (door ? e.door.openingBase.width : e.window.openingBase.width) = width;
        };
    };
    using E = API_Element&;
    using M = API_ElementMemo&;
    struct Refusal {
        const char* what;
        API_ElemTypeID typeID;
        std::function<void(E, M)> spoil;
        GSErrCode code;
    };
    for (const Refusal& r : std::vector<Refusal>{
             {"zero length", API_WallID, [](E e, M) { e.wall.endC = e.wall.begC; }, APIERR_BADPARS},
             {"story above the last", API_WallID, [](E e, M) { e.header.floorInd = 3; }, APIERR_BADINDEX},
             {"deleted layer", API_WallID, [](E e, M) { e.header.layer = 4; }, APIERR_BADINDEX},
             {"thin column", API_ColumnID, [](E, M m) { m.columnSegments[0].nominalWidth = 0; }, APIERR_BADPARS},
             {"dimension points beyond the memo", API_DimensionID, [](E e, M) { e.dimension.nDimElem = 3; },
              APIERR_BADPARS},
             {"spline without directions", API_SplineID, [](E, M m) { BMKillHandle(&m.bezierDirs); }, APIERR_BADPARS},
             {"one-point polyline", API_PolyLineID, [](E e, M) { e.polyLine.poly.nCoords = 1; }, APIERR_BADPOLY},
             {"no such fill", API_HatchID, [](E e, M) { e.hatch.fillInd = 77; }, APIERR_BADINDEX},
             {"count beyond the handle", API_SlabID, [](E e, M) { e.slab.poly.nCoords = 9; }, APIERR_BADPOLY},
             {"open contour", API_SlabID,
              [](E, M m) {
                  (*m.coords)[5] = {9, 9};
              },
              APIERR_BADPOLY},
             {"zero area", API_SlabID,
              [](E, M m) {
                  (*m.coords)[3] = {8, 0};
                  (*m.coords)[4] = {2, 0};
              },
              APIERR_BADPOLY},
             {"arcs without an arc list", API_SlabID, [](E e, M) { e.slab.poly.nArcs = 1; }, APIERR_BADPOLY},
             {"inner contour end past the coordinates", API_SlabID, innerEndPastCoords, APIERR_BADPOLY},
             {"roof contours", API_RoofID, [](E e, M) { e.roof.poly.nSubPolys = 2; }, APIERR_BADPOLY},
             {"past the last loaded part", API_ObjectID, [=](E e, M) { e.object.libInd = table + 1; }, APIERR_BADINDEX},
             {"dimension witness points closer than the host resolves", API_DimensionID,
              [](E, M m) {
                  (*m.dimElems)[1].base.loc = {(*m.dimElems)[0].base.loc.x + 1e-8, (*m.dimElems)[0].base.loc.y};
              },
              APIERR_BADPARS},
             {"polyline end disagrees", API_PolyLineID, [](E e, M m) { (*m.pends)[1] = e.polyLine.poly.nCoords - 1; },
              APIERR_BADPOLY},
             {"one-point spline", API_SplineID,
              [](E, M m) {
                  BMKillHandle(reinterpret_cast<GSHandle*>(&m.coords));
                  m.coords = reinterpret_cast<API_Coord**>(BMAllocateHandle(2 * sizeof(API_Coord), ALLOCATE_CLEAR, 0));
              },
              APIERR_BADPARS},
             {"zero ratio", API_ObjectID,
              [=](E e, M) {
                  e.object.libInd = table;
                  e.object.xRatio = 0;
              },
              APIERR_BADPARS},
             {"door without an owner", API_DoorID, opening(0, 1.0), APIERR_BADID},
             {"window on a slab", API_WindowID, opening(2, 1.0), APIERR_BADPARS},
             {"door past the wall's end", API_DoorID, opening(1, 4.5), APIERR_BADPARS},
             {"window at no number", API_WindowID, opening(1, std::nan("")), APIERR_BADPARS},
             {"door of no width", API_DoorID, opening(1, 1.0, 0.0), APIERR_BADPARS},
         }) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(r.typeID, memo.get());
        r.spoil(e, memo.memo);
        EXPECT_EQ(TryCreate(e, memo.get()), r.code) << r.what;
        if (r.typeID == API_DoorID || r.typeID == API_WindowID) {
            EXPECT_EQ(CreateWithMarker(e), r.code) << r.what;
        }
    }
    // An opening at its wall's very end stands on its wall's story, whatever it asked for.
    for (API_ElemTypeID typeID : {API_DoorID, API_WindowID}) {
        ScopedMemo unused;
        API_Element e = HostTesting::MakeElement(typeID);
        opening(1, 4.0)(e, unused.memo);
        ASSERT_EQ(CreateInCommand(e), NoError);
        EXPECT_EQ(Read(e.header.guid).header.floorInd, 1);
    }
    // Every fixture the rows above spoil is itself accepted, read back as created.
    HostTesting::AddLibraryPart(APILib_ObjectID, "Fixture Chair", 0.5, 0.6);
    for (API_ElemTypeID typeID : {API_WallID, API_ColumnID, API_BeamID, API_WindowID, API_DoorID, API_ObjectID,
                                  API_SlabID, API_RoofID, API_DimensionID, API_TextID, API_ZoneID, API_HatchID,
                                  API_LineID, API_PolyLineID, API_ArcID, API_SplineID, API_HotspotID, API_HotlinkID}) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(typeID, memo.get());
        if (typeID == API_DoorID || typeID == API_WindowID) opening(1, 1.0)(e, memo.memo), e.header.floorInd = 1;
        ASSERT_EQ(CreateInCommand(e, memo.get()), NoError) << typeID;
        EXPECT_TRUE(Same(Read(e.header.guid), e)) << typeID;
    }
    // The wall's opening flags follow its doors and windows; the rest go with the wall.
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
    ASSERT_EQ(DeleteInCommand({wall}), NoError);
    EXPECT_EQ(HostTesting::ElementCount(API_WindowID), 0u);
    EXPECT_EQ(TryCreate(HostTesting::MakeElement(API_HatchID)), APIERR_BADPOLY) << "no memo at all";
    API_Element untyped = Cleared(), outside = HostTesting::MakeElement(API_WallID);
    untyped.header.layer = 1;
    EXPECT_EQ(TryCreate(untyped), APIERR_BADID) << "no type";
    const size_t count = HostTesting::ElementCount();
    EXPECT_EQ(ACAPI_Element_Create(&outside, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(HostTesting::ElementCount(), count) << "outside a command nothing is stored";
    EXPECT_EQ(TryCreate(HostTesting::MakeElement(API_TextID)), NoError) << "a text without content is an empty text";
    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.libInd = table;
    EXPECT_EQ(TryCreate(object), NoError);
}

}  // namespace
