// The undo history keeps a bounded number of steps, the oldest dropped first, so that changes
// to a large project cannot pile up without end; the steps it keeps still undo.

#include "QuillmereTest.hpp"

namespace {

class UndoHistory : public HostTest {};

TEST_F(UndoHistory, KeepsTheNewestStepsUpToItsLimit)
{
    struct Case {
        const char* name;
        size_t limit, limitAfter;  // the second set once the steps are made
        int steps;                 // each makes one wall, named "Step <n>"
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"under the limit", 5, 5, 3, {"Step 1", "Step 2", "Step 3"}},
        {"past the limit", 2, 2, 4, {"Step 3", "Step 4"}},
        {"no history", 0, 0, 2, {}},
        {"limit lowered afterwards", 5, 1, 3, {"Step 3"}},
    };
    for (const Case& c : cases) {
        HostTesting::ResetProject();
        const size_t wallsBefore = HostTesting::ElementCount(API_WallID);
        HostTesting::SetUndoLimit(c.limit);
        for (int i = 1; i <= c.steps; ++i) {
            API_Element wall = HostTesting::MakeElement(API_WallID);
            wall.wall.begC = {double(i), 0}, wall.wall.endC = {double(i), 4};
            const std::string name = "Step " + std::to_string(i);
            ASSERT_EQ(Command([&] { return ACAPI_Element_Create(&wall, nullptr); }, name.c_str()), NoError);
        }
        HostTesting::SetUndoLimit(c.limitAfter);
        EXPECT_EQ(HostTesting::UndoStepNames(), c.kept) << c.name;
        size_t undone = 0;
        while (HostTesting::Undo() == NoError) ++undone;
        EXPECT_EQ(undone, c.kept.size()) << c.name;
        EXPECT_EQ(HostTesting::ElementCount(API_WallID) - wallsBefore, size_t(c.steps) - undone) << c.name;
    }
}

}  // namespace
