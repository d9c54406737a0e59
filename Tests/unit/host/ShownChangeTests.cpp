// Changes the host window shows that are not undo steps still move the project's revision,
// the window's cue to draw its plan again; refused calls do not.
#include <functional>

#include "QuillmereTest.hpp"

namespace {

class ShownChanges : public HostTest {};

TEST_F(ShownChanges, MoveTheRevisionWhenTheyChangeWhatTheWindowShows)
{
    const struct {
        const char* name;
        API_AttrTypeID type;
        std::function<void(API_Attribute&)> change;
        GSErrCode code;
    } cases[] = {
        {"a layer hidden", API_LayerID, [](API_Attribute& a) { a.header.flags |= APILay_Hidden; }, NoError},
        {"a pen recoloured", API_PenID,
         [](API_Attribute& a) {
             a.pen.rgb = {1, 0, 0};
         },
         NoError},
        {"a pen that is not there", API_PenID, [](API_Attribute& a) { a.header.index = 999; }, APIERR_BADINDEX},
    };
    for (const auto& c : cases) {
        const std::uint64_t before = HostTesting::ProjectRevision();
        API_Attribute a = GetAttr(c.type, 1);
        c.change(a);
        EXPECT_EQ(ACAPI_Attribute_Modify(&a, nullptr), c.code) << c.name;
        EXPECT_EQ(HostTesting::ProjectRevision() != before, c.code == NoError) << c.name;
    }
}

}  // namespace
