// Story tools: list the project's stories, add a story above the last one, and make another
// story current in the floor plan.
#include <algorithm>
#include <string>

#include "ACAPinc.h"

#include "tools/StorySettings.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

constexpr size_t kNameCapacity = sizeof(API_StoryCmdType::uName) / sizeof(GS::uchar_t);

ToolResult ListStories(const json&)
{
    StorySettings settings;
    if (GSErrCode err = settings.Read()) return ToolResult::Fail("GetStorySettings error: " + std::to_string(err));
    const API_StoryInfo& info = settings.Info();
    json result = json::object();
    json stories = json::array();
    if (settings.HoldsEveryStory()) {
        for (Int32 i = info.firstStory; i <= info.lastStory; ++i) {
            const API_StoryType& story = settings.Record(Int16(i));
            stories.push_back({{"index", i}, {"name", StoryNameOf(story)}, {"elevation", story.level}});
        }
    }
    result["stories"] = stories;
    result["current_story"] = info.actStory;
    result["first_story"] = info.firstStory;
    result["last_story"] = info.lastStory;
    settings.Release();
    return DataResult(result);
}

ToolResult CreateStory(const json& input)
{
    const std::string name = StringInput(input, "name", "New Story");
    const double height = NumberInput(input, "height", 3.0);
    Int16 last = 0;
    double elevation = 0.0;
    {
        StorySettings settings;
        if (GSErrCode err = settings.Read()) return ToolResult::Fail("GetStorySettings error: " + std::to_string(err));
        if (!settings.HoldsEveryStory()) return ToolResult::Fail("GetStorySettings error: no stories");
        last = settings.Info().lastStory;
        // Presence decides: an explicit 0 is an elevation of 0.
        elevation = NumberInput(input, "elevation", settings.Record(last).level + 3.0);
    }
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Create Story"), [&]() -> GSErrCode {
        API_StoryCmdType cmd;
        BNClear(cmd);
        cmd.action = APIStory_InsAbove;
        cmd.index = last;
        cmd.height = height;
        cmd.elevation = elevation;
        // Cut to the host's buffer, never in the middle of a surrogate pair.
        GS::ucsncpy(cmd.uName, GS::UniString(name).ToUStr().Get(), kNameCapacity);
        return ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd);
    });
    if (err != NoError) return ToolResult::Fail("CreateStory error: " + std::to_string(err));
    return ToolResult::Ok("", "Story \"" + name + "\" created at elevation " + std::to_string(elevation));
}

ToolResult SetCurrentStory(const json& input)
{
    API_StoryCmdType cmd;
    BNClear(cmd);
    // The host refuses a story command without an action; going to a story is its own action.
    cmd.action = APIStory_GoTo;
    cmd.index = StoryBits(IntInput(input, "story_index", 0));
    if (GSErrCode err = ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd))
        return ToolResult::Fail("SetCurrentStory error: " + std::to_string(err));
    return ToolResult::Ok("", "Switched to story " + std::to_string(cmd.index));
}

}  // namespace

void RegisterStoryTools(ToolRegistry& registry)
{
    Tool(registry, "list_stories", "List all stories (floors) in the project with name, index, and elevation.")
        .Handler(ListStories);

    Tool(registry, "create_story",
         "Add a new story (floor level) to the project. The new story is added above the current last story.")
        .String("name", "Story name (e.g. '2nd Floor')")
        .Number("elevation", "Story elevation in metres (default: last story elevation + 3.0)")
        .Number("height", "Story height in metres (default 3.0)")
        .Required({"name"})
        .Handler(CreateStory);

    Tool(registry, "set_current_story", "Switch the active (current) story in the floor plan view.")
        .Integer("story_index", "Story index to switch to (0 = ground floor)")
        .Required({"story_index"})
        .Handler(SetCurrentStory);
}
