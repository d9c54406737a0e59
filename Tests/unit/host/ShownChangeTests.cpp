// Changes the host window shows that are not undo steps still move the project's revision,
// the window's cue to draw its plan again; reads and refused calls do not.
#include <functional>

#include "QuillmereTest.hpp"

namespace {

class ShownChanges : public HostTest {};

TEST_F(ShownChanges, MoveTheRevisionWhenTheyChangeWhatTheWindowShows)
{
    const auto modify = [](API_AttrTypeID type, Int32 index, const std::function<void(API_Attribute&)>& change) {
        API_Attribute a = GetAttr(type, index);
        change(a);
        return ACAPI_Attribute_Modify(&a, nullptr);
    };
    const auto goTo = [](Int16 story) {
        API_StoryCmdType cmd{};
        cmd.action = APIStory_GoTo;
        cmd.index = story;
        return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd);
    };
    const struct {
        const char* name;
        std::function<GSErrCode()> change;
        GSErrCode code;
        bool moves;
    } cases[] = {
        {"a layer hidden",
         [&] { return modify(API_LayerID, 1, [](API_Attribute& a) { a.header.flags |= APILay_Hidden; }); }, NoError,
         true},
        {"a pen recoloured", [&] { return modify(API_PenID, 1, [](API_Attribute& a) {
                                       a.pen.rgb = {1, 0, 0};
                                   }); },
         NoError, true},
        {"another story", [&] { return goTo(1); }, NoError, true},
        {"a layer read", [] { return GetAttr(API_LayerID, 1), NoError; }, NoError, false},
        {"a modification refused", [&] { return modify(API_PenID, 1, [](API_Attribute& a) { a.header.index = 999; }); },
         APIERR_BADINDEX, false},
    };
    for (const auto& c : cases) {
        const std::uint64_t before = HostTesting::ProjectRevision();
        const GSErrCode code = c.change();
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(HostTesting::ProjectRevision() != before, c.moves) << c.name;
    }
}

}  // namespace
