// The element memos the host makes agree with their records: polygon counts with the
// coordinate and contour-end handles, segment counts with the segment lists, dimension
// counts with the dimension points. Readers that trust the record stay within the handles.

#include "QuillmereTest.hpp"

namespace {

template <typename T>
size_t Entries(T** handle)
{
    return handle ? size_t(BMGetHandleSize(handle)) / sizeof(T) : 0;
}
template <typename T>
size_t PtrEntries(T* ptr)
{
    return ptr ? size_t(BMGetPtrSize(reinterpret_cast<GSConstPtr>(ptr))) / sizeof(T) : 0;
}

const API_Polygon* PolygonOf(const API_Element& e)
{
    switch (e.header.type.typeID) {
    case API_SlabID: return &e.slab.poly;
    case API_RoofID: return &e.roof.poly;
    case API_ZoneID: return &e.zone.poly;
    case API_HatchID: return &e.hatch.poly;
    case API_PolyLineID: return &e.polyLine.poly;
    default: return nullptr;
    }
}

TEST_F(HostTest, MadeElementsCarryMemosThatMatchTheirRecords)
{
    const API_ElemTypeID types[] = {API_WallID,      API_ColumnID, API_BeamID,     API_SlabID,    API_RoofID,
                                    API_ZoneID,      API_HatchID,  API_PolyLineID, API_TextID,    API_SplineID,
                                    API_DimensionID, API_LineID,   API_ArcID,      API_HotspotID, API_ObjectID};
    for (API_ElemTypeID type : types) {
        SCOPED_TRACE(type);
        ScopedMemo memo;
        const API_Element e = HostTesting::MakeElement(type, memo.get());
        // Read back through the host as an add-on would.
        const API_Guid guid = HostTesting::AddElement(e, memo.get());
        ScopedMemo read;
        ASSERT_EQ(ACAPI_Element_GetMemo(guid, read.get()), NoError);
        if (const API_Polygon* poly = PolygonOf(e)) {
            EXPECT_EQ(Entries(read->coords), size_t(poly->nCoords) + 1);
            ASSERT_GE(Entries(read->pends), size_t(std::max(poly->nSubPolys, 1)) + 1);
            EXPECT_EQ((*read->pends)[std::max(poly->nSubPolys, 1)], poly->nCoords);
        }
        if (type == API_ColumnID) {
            EXPECT_EQ(PtrEntries(read->columnSegments), size_t(e.column.nSegments));
        }
        if (type == API_BeamID) {
            EXPECT_EQ(PtrEntries(read->beamSegments), size_t(e.beam.nSegments));
        }
        if (type == API_DimensionID) {
            EXPECT_EQ(Entries(read->dimElems), size_t(e.dimension.nDimElem));
        }
        if (type == API_TextID) {
            ASSERT_NE(read->textContent, nullptr);
            const size_t size = size_t(BMGetHandleSize(read->textContent));
            EXPECT_EQ((*read->textContent)[size - 1], '\0');
        }
        if (type == API_SplineID) {
            EXPECT_EQ(Entries(read->coords), Entries(read->bezierDirs));
        }
        if (type == API_WallID) {  // a straight wall has no polygon
            EXPECT_EQ(read->coords, nullptr);
        }
    }
}

}  // namespace
