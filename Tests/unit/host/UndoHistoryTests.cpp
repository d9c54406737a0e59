// The undo history keeps a bounded number of steps, the oldest dropped first, so that changes
// to a large project cannot pile up without end; the steps it keeps still undo exactly.

#include "QuillmereTest.hpp"

namespace {

using Steps = std::vector<std::string>;

class UndoHistory : public HostTest {};

TEST_F(UndoHistory, KeepsTheNewestStepsUpToItsLimit)
{
    struct Case {
        const char* name;
        size_t limit;
        size_t limitAfter;  // set once the steps are made
        int steps;          // each makes one wall, named "Step <n>"
        Steps kept;
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
            const std::string name = "Step " + std::to_string(i);
            ASSERT_EQ(Command(
                          [i] {
                              API_Element wall = HostTesting::MakeElement(API_WallID);
                              wall.wall.begC = {double(i), 0};
                              wall.wall.endC = {double(i), 4};
                              return ACAPI_Element_Create(&wall, nullptr);
                          },
                          name.c_str()),
                      NoError)
                << c.name;
        }
        HostTesting::SetUndoLimit(c.limitAfter);
        EXPECT_EQ(HostTesting::UndoStepNames(), c.kept) << c.name;

        size_t undone = 0;
        while (HostTesting::Undo() == NoError) ++undone;
        EXPECT_EQ(undone, c.kept.size()) << c.name;
        EXPECT_EQ(HostTesting::ElementCount(API_WallID) - wallsBefore, size_t(c.steps) - c.kept.size())
            << c.name << ": the walls of dropped steps stay";
    }
}

}  // namespace
