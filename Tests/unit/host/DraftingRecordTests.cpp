// The host's side of 2D drafting: what it refuses of dimensions, arcs, texts and splines, and
// that a drafting element comes back whole (memo included) after a delete is undone.

#include "QuillmereTest.hpp"

namespace {

class DraftingRecords : public HostTest {};

using E = API_Element&;
using M = API_ElementMemo&;

// A handle of the given records in place of the memo's one.
template <typename T>
void Replace(T**& handle, const std::vector<T>& records)
{
    BMKillHandle(reinterpret_cast<GSHandle*>(&handle));
    handle = reinterpret_cast<T**>(BMAllocateHandle(GSSize(records.size() * sizeof(T)), ALLOCATE_CLEAR, 0));
    for (size_t i = 0; i < records.size(); ++i) (*handle)[i] = records[i];
}

TEST_F(DraftingRecords, BrokenDraftingIsRefusedAndNothingIsStored)
{
    struct Refusal {
        const char* what;
        API_ElemTypeID typeID;
        std::function<void(E, M)> spoil;
        GSErrCode code;
    };
    for (const Refusal& r : std::vector<Refusal>{
             {"witness points closer than the host resolves", API_DimensionID,
              [](E, M m) {
                  (*m.dimElems)[1].base.loc = {(*m.dimElems)[0].base.loc.x + 1e-8, (*m.dimElems)[0].base.loc.y};
              },
              APIERR_BADPARS},
             {"polyline end disagrees", API_PolyLineID, [](E e, M m) { (*m.pends)[1] = e.polyLine.poly.nCoords - 1; },
              APIERR_BADPOLY},
             {"one-point spline", API_SplineID,
              [](E, M m) {
                  Replace<API_Coord>(m.coords, {{0, 0}, {1, 1}});
              },
              APIERR_BADPARS},
         }) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(r.typeID, memo.get());
        r.spoil(e, memo.memo);
        const size_t count = HostTesting::ElementCount();
        EXPECT_EQ(CreateInCommand(e, memo.get()), r.code) << r.what;
        EXPECT_EQ(HostTesting::ElementCount(), count) << r.what;
    }
}

TEST_F(DraftingRecords, DeletedDraftingComesBackWithItsMemoOnUndo)
{
    const std::string content = "Küche 3×4 m";
    std::vector<API_Guid> made;
    for (API_ElemTypeID typeID : {API_LineID, API_ArcID, API_TextID, API_PolyLineID, API_HotspotID, API_SplineID,
                                  API_HatchID, API_DimensionID}) {
        ScopedMemo memo;
        API_Element e = HostTesting::MakeElement(typeID, memo.get());
        if (typeID == API_TextID) {
            std::vector<char> bytes(content.begin(), content.end());
            bytes.push_back('\0');
            Replace<char>(memo->textContent, bytes);
        }
        ASSERT_EQ(CreateInCommand(e, memo.get()), NoError) << typeID;
        made.push_back(e.header.guid);
    }
    GS::Array<API_Guid> all;
    for (const API_Guid& guid : made) all.Push(guid);
    ASSERT_EQ(DeleteInCommand(all), NoError);
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    ASSERT_EQ(HostTesting::AllElements(), made);

    ScopedMemo text;
    ASSERT_TRUE(HostTesting::GetElementMemo(made[2], text.get()));
    ASSERT_NE(text->textContent, nullptr);
    EXPECT_EQ(std::string(*text->textContent), content);
}

}  // namespace
