// Story tools: listing (order, negative first index, damaged story lists), creating a story
// above the last one as one undo step, and switching the current story outside the history.
#include "QuillmereTest.hpp"

using json = nlohmann::json;

namespace {

class StoryTools : public QuillmereTest {
protected:
    json List()
    {
        const ToolResult result = Run("list_stories", json::object());
        EXPECT_TRUE(result.success) << result.error;
        EXPECT_TRUE(result.elementGuid.empty());
        return json::parse(result.message);
    }
};

TEST_F(StoryTools, ListingReportsEveryStoryInIndexOrderOrNoneFromAMissingOrShortList)
{
    HostTesting::SetStories(
        {{-2, -6.0, "Parking"}, {-1, -3.0, "Basement"}, {0, 0.0, "Erdgeschoss \u00e4"}, {1, 3.0, "First"}});
    const ToolResult full = Run("list_stories", json::object());
    ASSERT_TRUE(full.success) << full.error;
    EXPECT_EQ(full.message, "{\"current_story\":0,\"first_story\":-2,\"last_story\":1,\"stories\":["
                            "{\"elevation\":-6.0,\"index\":-2,\"name\":\"Parking\"},{\"elevation\":-3.0,\"index\":-1,"
                            "\"name\":\"Basement\"},"
                            "{\"elevation\":0.0,\"index\":0,\"name\":\"Erdgeschoss "
                            "\u00e4\"},{\"elevation\":3.0,\"index\":1,\"name\":\"First\"}]}");

    struct Case {
        const char* what;
        HostTesting::StoryListShape shape;
        std::vector<HostTesting::StoryFixture> stories;
        std::tuple<int, int, int> indices;  // first, last, current
    };
    const Case cases[] = {
        {"a short handle", HostTesting::StoryListShape::Short, {{0, 0.0, "G"}, {1, 3.0, "F"}}, {0, 1, 0}},
        {"no stories", HostTesting::StoryListShape::Full, {}, {0, -1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::SetStories(c.stories);
        HostTesting::SetStoryListShape(c.shape);
        const json listed = List();
        EXPECT_EQ(listed["stories"], json::array());
        EXPECT_EQ(std::make_tuple(listed["first_story"].get<int>(), listed["last_story"].get<int>(),
                                  listed["current_story"].get<int>()),
                  c.indices);
    }
    HostTesting::SetStoryListShape(HostTesting::StoryListShape::Full);
    HostTesting::FailNextCall("ACAPI_Environment", APIERR_MEMFULL);
    EXPECT_EQ(Run("list_stories", json::object()).error, "GetStorySettings error: -2130313214");
}

TEST_F(StoryTools, CreatingAddsAboveTheLastStoryAsOneUndoStepWithDefaultsOnlyForAbsentKeys)
{
    struct Case {
        json input;
        std::string name;
        double elevation;
        double height;
        std::string message;
    };
    const std::string pairs = std::string(254, 'x') + "\U0001F3E0";  // the pair straddles the buffer's end
    const Case cases[] = {
        {json::object(), "New Story", 9.0, 3.0, "Story \"New Story\" created at elevation 9.000000"},
        {{{"name", "Roof"}, {"elevation", 0}, {"height", 2.5}},
         "Roof",
         0.0,
         2.5,
         "Story \"Roof\" created at elevation 0.000000"},
        {{{"name", pairs}}, std::string(254, 'x'), 9.0, 3.0, "Story \"" + pairs + "\" created at elevation 9.000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        const size_t steps = UndoStepCount();
        const ToolResult result = Run("create_story", c.input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, c.message);
        EXPECT_TRUE(result.elementGuid.empty());
        EXPECT_EQ(UndoSteps().back(), "Quillmere: Create Story");
        EXPECT_EQ(UndoStepCount(), steps + 1);
        const json listed = List();
        ASSERT_EQ(listed["last_story"], 3);
        EXPECT_EQ(listed["stories"][3]["name"], c.name);
        EXPECT_EQ(listed["stories"][3]["elevation"].get<double>(), c.elevation);
        ASSERT_TRUE(UndoLast());
        EXPECT_EQ(List()["last_story"], 2) << "undo takes the story away";
    }
}

TEST_F(StoryTools, CreationFailuresChangeNothingAndFreeTheStoryList)
{
    struct Case {
        const char* what;
        json input;
        std::function<void()> arrange;
        std::string error;  // whole text, or the start of the JSON library's message
    };
    const Case cases[] = {
        {"settings unreadable", json::object(), [] { HostTesting::FailNextCall("ACAPI_Environment", APIERR_GENERAL); },
         "GetStorySettings error: -2130313215"},
        {"no stories", json::object(), [] { HostTesting::SetStories({}); }, "GetStorySettings error: no stories"},
        {"short list handle", json::object(),
         [] { HostTesting::SetStoryListShape(HostTesting::StoryListShape::Short); },
         "GetStorySettings error: no stories"},
        {"host refuses", json::object(), [] { HostTesting::FailNextCall("ACAPI_Environment", APIERR_BADPARS, 1); },
         "CreateStory error: -2130313112"},
        {"null elevation", {{"elevation", nullptr}}, [] {}, "type must be number, but is null"},
    };
    const Int64 handlesBefore = HostTesting::LiveHandleCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::ResetProject();
        c.arrange();
        const auto stories = HostTesting::GetStories();
        const Footprint before = TakeFootprint();
        const ToolResult result = Run("create_story", c.input);
        EXPECT_FALSE(result.success);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
        EXPECT_EQ(HostTesting::GetStories().size(), stories.size());
        EXPECT_EQ(TakeFootprint().undoSteps, before.undoSteps);
        EXPECT_EQ(HostTesting::LiveHandleCount(), handlesBefore);
    }
}

TEST_F(StoryTools, SwitchingGoesToTheLow16BitsOfTheIndexOutsideTheUndoHistory)
{
    HostTesting::SetStories({{-1, -3.0, "B"}, {0, 0.0, "G"}, {1, 3.0, "F"}, {4464, 99.0, "Far"}});
    struct Case {
        json input;
        int expectedStory;    // current story afterwards
        std::string outcome;  // message, or error
    };
    const Case cases[] = {
        {{{"story_index", 1}}, 1, "Switched to story 1"},
        {{{"story_index", 70000}}, 4464, "Switched to story 4464"},
        {{{"story_index", 2}}, 4464, "SetCurrentStory error: -2130313112"},
    };
    const size_t steps = UndoStepCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        const ToolResult result = Run("set_current_story", c.input);
        EXPECT_NE((result.success ? result.message : result.error).find(c.outcome), std::string::npos)
            << result.message << result.error;
        EXPECT_EQ(HostTesting::CurrentStory(), c.expectedStory);
        EXPECT_EQ(List()["current_story"], c.expectedStory);
    }
    EXPECT_EQ(UndoStepCount(), steps);
}

}  // namespace
