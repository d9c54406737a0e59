// The host's library functions and the creation of doors and windows with their markers.

#include "HostTestingLibrary.hpp"
#include "QuillmereTest.hpp"

namespace {

class Library : public HostTest {
protected:
    // Searches by name; the location the host hands out is freed at once.
    static GSErrCode Search(const char* name, bool createIfMissing, bool onlyPlaceable = true,
                            API_LibPart* found = nullptr)
    {
        API_LibPart part;
        BNClear(part);
        GS::ucsncpy(part.docu_UName, GS::UniString(name).ToUStr().Get(), 256);
        const GSErrCode code = ACAPI_LibPart_Search(&part, createIfMissing, onlyPlaceable);
        EXPECT_EQ(part.location != nullptr, code == NoError) << name;
        delete part.location;
        part.location = nullptr;
        if (found) *found = part;
        return code;
    }
    static std::string Name(const API_LibPart& part) { return GS::UniString(part.docu_UName).ToStdString(); }
};

TEST_F(Library, EveryIndexInTheLibraryReadsBackAndOthersAreRefused)
{
    Int32 count = 0;
    ASSERT_EQ(ACAPI_LibPart_GetNum(&count), NoError);
    for (Int32 i = -1; i <= count + 1; ++i) {
        API_LibPart part;
        BNClear(part);
        part.index = i;
        const GSErrCode code = ACAPI_LibPart_Get(&part);
        EXPECT_EQ(code, i < 1 || i > count ? APIERR_BADINDEX : NoError) << i;
        EXPECT_EQ(part.location != nullptr, code == NoError) << i;
        delete part.location;
        if (code != NoError) continue;
        EXPECT_TRUE(part.index == i && !Name(part).empty()) << i;
    }
}

TEST_F(Library, SearchFindsExactNamesPlaceablePartsAndMarkersAndAnOpeningWithItsMarkerNeedsACommandAndAWall)
{
    API_LibPart part;
    ASSERT_EQ(Search("Door Single", false, true, &part), NoError);
    EXPECT_EQ(std::make_tuple(part.index, part.typeID),
              std::make_tuple(HostTesting::FindLibraryPart("Door Single"), Int32(APILib_DoorID)));
    EXPECT_EQ(Search("Door Frame Macro", false, true), APIERR_BADNAME) << "macros are not placeable";
    EXPECT_EQ(Search("Door Frame Macro", false, false), NoError);
    API_LibPart marker;
    BNClear(marker);
    ASSERT_EQ(ACAPI_Goodies_GetMarkerParent(MakeElemType(API_WindowID), marker), NoError);
    EXPECT_EQ(marker.location, nullptr);
    ASSERT_EQ(ACAPI_LibPart_Search(&marker, false, true), NoError);
    EXPECT_EQ(Name(marker), "Window Marker");
    delete marker.location;
    EXPECT_EQ(ACAPI_Goodies_GetMarkerParent(MakeElemType(API_WallID), marker), APIERR_BADID);

    API_Element window = Cleared(API_WindowID);
    API_SubElement sub;
    BNClear(sub);
    sub.subType = APISubElement_MainMarker;
    ScopedMemo memo;
    ASSERT_EQ(ACAPI_Element_GetDefaultsExt(&window, memo.get(), 1, &sub), NoError);
    EXPECT_GT(sub.subElem.object.libInd, 0);
    window.window.owner = HostTesting::AddWall(0, 0, 4, 0, 2);
    window.window.objLoc = 2.0;
    EXPECT_EQ(ACAPI_Element_CreateExt(&window, memo.get(), 1, &sub), APIERR_NEEDSUNDOSCOPE);
    ASSERT_EQ(Command([&] { return ACAPI_Element_CreateExt(&window, memo.get(), 1, &sub); }), NoError);
    EXPECT_EQ(Read(window.header.guid).header.floorInd, 2);
    EXPECT_TRUE(HostTesting::GetMarker(window.header.guid, nullptr, nullptr));
    // The marker goes with the undone window and comes back with it.
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_FALSE(HostTesting::GetMarker(window.header.guid, nullptr, nullptr));
    ACAPI_DisposeElemMemoHdls(&sub.memo);
    API_Element door = window;
    door.header.type = MakeElemType(API_DoorID);
    door.door.owner = HostTesting::AddFixture(API_SlabID);
    EXPECT_EQ(Command([&] { return ACAPI_Element_CreateExt(&door, nullptr, 0, nullptr); }), APIERR_BADPARS);
}

TEST_F(Library, ParametersComeInAHandleTheCallerOwnsAMissingReferenceIsMadeOnlyWhenAskedAndGoesWithRollbackAndUndo)
{
    const Int32 index = HostTesting::FindLibraryPart("Table Round");
    const Int64 handles = HostTesting::LiveHandleCount();
    double a = 0, b = 0;
    Int32 n = 0;
    API_AddParType** pars = nullptr;
    ASSERT_EQ(ACAPI_LibPart_GetParams(index, &a, &b, &n, &pars), NoError);
    EXPECT_EQ(std::make_tuple(a, b), std::make_tuple(1.2, 1.2));
    ASSERT_NE(pars, nullptr);
    EXPECT_EQ(HostTesting::LiveHandleCount(), handles + 1);
    const auto expected = HostTesting::LibraryPartParams(index);
    ASSERT_EQ(expected.size(), static_cast<size_t>(n));
    for (Int32 i = 0; i < n; ++i) EXPECT_STREQ((*pars)[i].name, expected[size_t(i)].name);
    BMKillHandle(&pars);
    EXPECT_EQ(ACAPI_LibPart_GetParams(0, &a, &b, &n, &pars), APIERR_BADINDEX);

    const Int32 before = HostTesting::LibraryPartCount();
    EXPECT_EQ(Search("Hovercraft", false), APIERR_BADNAME);
    EXPECT_EQ(HostTesting::LibraryPartCount(), before);
    EXPECT_EQ(Command([&] {
                  EXPECT_EQ(Search("Hovercraft", true), NoError);
                  return APIERR_GENERAL;
              }),
              APIERR_GENERAL);
    EXPECT_EQ(HostTesting::LibraryPartCount(), before) << "rolled back";
    API_LibPart part;
    ASSERT_EQ(Command([&] { return Search("Hovercraft", true, true, &part); }), NoError);
    EXPECT_TRUE(part.missingDef && part.index == before + 1);
    EXPECT_NE(ACAPI_LibPart_GetParams(part.index, &a, &b, &n, &pars), NoError)
        << "a missing reference has no parameters";
    EXPECT_EQ(pars, nullptr);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(HostTesting::LibraryPartCount(), before) << "undone";
    // A part loaded after the reference keeps its index: the reference then stays.
    ASSERT_EQ(Command([&] { return Search("Hovercraft", true); }), NoError);
    HostTesting::AddLibraryPart(APILib_ObjectID, "Loaded Later", 1.0, 1.0);
    ASSERT_EQ(HostTesting::Undo(), NoError);
    EXPECT_EQ(HostTesting::LibraryPartCount(), before + 2);
}

}  // namespace
