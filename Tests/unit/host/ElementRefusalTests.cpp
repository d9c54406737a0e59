// The records the host refuses (with their codes; a refusal stores nothing) and the defaults it hands out.

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
    static API_Element Defaults(API_ElemTypeID typeID, API_ElementMemo* memo = nullptr, Int16 floorInd = 0)
    {
        API_Element e = Cleared(typeID);
        e.header.floorInd = floorInd;
        EXPECT_EQ(ACAPI_Element_GetDefaults(&e, memo), NoError);
        return e;
    }
};

TEST_F(ElementRecords, OutsideACommandNothingIsStoredUnsupportedTypesAreBadIds)
{
    API_Element fresh = HostTesting::MakeElement(API_WallID);
    EXPECT_EQ(ACAPI_Element_Create(&fresh, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
    API_Guid wall = HostTesting::AddWall(0, 0, 5, 0);
    API_Element change = Read(wall), mask = Cleared();
    change.wall.height = 9;
    ACAPI_ELEMENT_MASK_SET(mask, wall, height);
    EXPECT_EQ(ACAPI_Element_Change(&change, &mask), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(Read(wall).wall.height, 2.7);
    EXPECT_EQ(ACAPI_Element_Delete({wall}), APIERR_NEEDSUNDOSCOPE);
    EXPECT_TRUE(HostTesting::ElementExists(wall));
    API_Element e = Cleared();
    EXPECT_EQ(ACAPI_Element_GetDefaults(&e, nullptr), APIERR_BADID);
    e.header.layer = 1;
    EXPECT_EQ(TryCreate(e), APIERR_BADID);
}

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
         }) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(r.typeID, memo.get());
        r.spoil(e, memo.memo);
        EXPECT_EQ(TryCreate(e, memo.get()), r.code) << r.what;
    }
    EXPECT_EQ(TryCreate(HostTesting::MakeElement(API_HatchID)), APIERR_BADPOLY) << "no memo at all";
    EXPECT_EQ(TryCreate(HostTesting::MakeElement(API_TextID)), NoError) << "a text without content is an empty text";
    API_Element object = HostTesting::MakeElement(API_ObjectID);
    object.object.libInd = table;
    EXPECT_EQ(TryCreate(object), NoError);
}

TEST_F(ElementRecords, DefaultsKeepTheCallersTypeAndStoryFollowTheSettingsAndHandOutFreshMemos)
{
    API_Element wall = Defaults(API_WallID, nullptr, 2);
    const bool noGuid = wall.header.guid == APINULLGuid;
    EXPECT_EQ(std::make_tuple(wall.wall.height, wall.wall.thickness, wall.header.layer, wall.header.floorInd, noGuid),
              std::make_tuple(2.7, 0.25, 1, 2, true));
    API_Element d = HostTesting::GetDefaults(API_SlabID);
    d.slab.thickness = 0.42;
    d.header.layer = 3;
    HostTesting::SetDefaults(d);
    API_Element slab = Defaults(API_SlabID);
    EXPECT_EQ(std::make_tuple(slab.slab.thickness, slab.header.layer), std::make_tuple(0.42, 3));
    ScopedMemo seed, first, second;
    seed->textContent = BMAllocateHandle(6, 0, 0);
    std::memcpy(*seed->textContent, "Label", 6);
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_TextID), seed.get());
    ACAPI_DisposeElemMemoHdls(seed.get());  // the host keeps its own copy
    Defaults(API_TextID, first.get());
    Defaults(API_TextID, second.get());
    ASSERT_NE(first->textContent, nullptr);
    EXPECT_NE(first->textContent, second->textContent);
    EXPECT_STREQ(*first->textContent, "Label");
}

}  // namespace
