// The host's library: a missing reference is made only when asked, goes with a rolled-back or
// undone step unless a part loaded after it holds its place, and has no parameters.

#include "HostTestingLibrary.hpp"
#include "QuillmereTest.hpp"

namespace {

class Library : public HostTest {
protected:
    // Searches by name; the location the host hands out is freed at once.
    static GSErrCode Search(const char* name, bool createIfMissing, API_LibPart* found = nullptr)
    {
        API_LibPart part;
        BNClear(part);
        GS::ucsncpy(part.docu_UName, GS::UniString(name).ToUStr().Get(), 256);
        const GSErrCode code = ACAPI_LibPart_Search(&part, createIfMissing, true);
        EXPECT_EQ(part.location != nullptr, code == NoError) << name;
        delete part.location;
        part.location = nullptr;
        if (found) *found = part;
        return code;
    }
};

TEST_F(Library, AMissingReferenceIsMadeOnlyWhenAskedAndGoesWithRollbackAndUndo)
{
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
    ASSERT_EQ(Command([&] { return Search("Hovercraft", true, &part); }), NoError);
    EXPECT_TRUE(part.missingDef && part.index == before + 1);
    double a = 0, b = 0;
    Int32 n = 0;
    API_AddParType** pars = nullptr;
    EXPECT_NE(ACAPI_LibPart_GetParams(part.index, &a, &b, &n, &pars), NoError) << "no parameters";
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
