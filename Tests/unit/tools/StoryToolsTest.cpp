// The story tools' mended faults: the story list read only within its handle (a short or
// missing list lists nothing and creates nothing), names cut without splitting a surrogate
// pair, and the switch going to the low 16 bits of the index given.
#include "QuillmereTest.hpp"

namespace {

using StoryTools = QuillmereTest;

TEST_F(StoryTools, ADamagedStoryListListsNothingAndCreatesNothing)
{
    const struct {
        const char* name;
        HostTesting::StoryListShape shape;
        std::vector<HostTesting::StoryFixture> stories;
        int last;
    } rows[] = {
        {"short handle", HostTesting::StoryListShape::Short, {{0, 0.0, "G"}, {1, 3.0, "F"}}, 1},
        {"no handle", HostTesting::StoryListShape::Null, {{0, 0.0, "G"}}, 0},
        {"no stories", HostTesting::StoryListShape::Full, {}, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostTesting::SetStories(row.stories);
        HostTesting::SetStoryListShape(row.shape);
        const json listed = Data(Run("list_stories", json::object()));
        EXPECT_EQ(listed["stories"], json::array());
        EXPECT_EQ(listed["last_story"], row.last);
        EXPECT_EQ(Run("create_story", json::object()).error, "GetStorySettings error: no stories");
        EXPECT_EQ(HostTesting::GetStories().size(), row.stories.size());
    }
}

TEST_F(StoryTools, ALongNameIsCutBeforeASurrogatePairThatWouldNotFit)
{
    const std::string name = std::string(254, 'x') + "\U0001F3E0";  // the pair straddles the buffer's end
    EXPECT_EQ(Run("create_story", {{"name", name}}).message, "Story \"" + name + "\" created at elevation 9.000000");
    EXPECT_EQ(HostTesting::GetStories().back().name, std::string(254, 'x'));
}

TEST_F(StoryTools, SwitchingGoesToTheLow16BitsOfTheIndex)
{
    HostTesting::SetStories({{0, 0.0, "G"}, {1, 3.0, "F"}, {4464, 99.0, "Far"}});
    EXPECT_EQ(Run("set_current_story", {{"story_index", 70000}}).message, "Switched to story 4464");
    EXPECT_EQ(HostTesting::CurrentStory(), 4464);
    EXPECT_EQ(Run("set_current_story", {{"story_index", 2}}).error, "SetCurrentStory error: -2130313112");
    EXPECT_EQ(HostTesting::CurrentStory(), 4464);
}

}  // namespace
