// ACAPI_Environment: project information ('PROJ') and the story structure ('GSTO', 'CSTO'; going
// to a story shows its floor plan).

#include <algorithm>
#include <cmath>

#include "navigator/Documentation.hpp"
#include "navigator/NameFields.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

// How 'GSTO' hands out the story list; only tests change it.
HostTesting::StoryListShape g_storyListShape = HostTesting::StoryListShape::Full;

// The host's own action numbering starts at 1 (go to story); 0 and anything past the last
// known action are refused whether or not a command runs.
bool KnownStoryAction(Int32 action) { return action >= APIStory_GoTo && action <= APIStory_SetElevation; }

GSErrCode GetProjectInfo(Project& project, API_ProjectInfo* info)
{
    if (info == nullptr) return APIERR_BADPARS;
    info->untitled = project.untitled;
    info->teamwork = false;
    info->projectName = nullptr;
    info->projectPath = nullptr;
    info->location = nullptr;
    if (!project.untitled) {
        info->projectName = new GS::UniString(project.name);
        info->projectPath = new GS::UniString("/Projects/" + project.name + ".pln");
        info->location = new GS::UniString("/Projects");
    }
    return NoError;
}

GSErrCode GetStories(const Project& project, API_StoryInfo* info)
{
    if (info == nullptr) return APIERR_BADPARS;
    const StoryList& list = project.Stories();
    info->data = nullptr;
    if (list.stories.empty()) {
        info->firstStory = 0;
        info->lastStory = -1;
        info->actStory = 0;
        return NoError;
    }
    // Callers read lastStory - firstStory + 1 records, so the handle holds one per index of
    // that range even where a story list has a gap.
    Int16 first = list.stories.front().index, last = first;
    for (const Story& s : list.stories) {
        first = std::min(first, s.index);
        last = std::max(last, s.index);
    }
    info->firstStory = first;
    info->lastStory = last;
    info->actStory = list.current;
    if (g_storyListShape == HostTesting::StoryListShape::Null) return NoError;
    size_t count = size_t(last - first) + 1;
    if (g_storyListShape == HostTesting::StoryListShape::Short) --count;
    GSHandle h = BMAllocateHandle(GSSize(count * sizeof(API_StoryType)), ALLOCATE_CLEAR, 0);
    if (h == nullptr) return APIERR_MEMFULL;
    API_StoryType* records = reinterpret_cast<API_StoryType*>(*h);
    for (size_t i = 0; i < count; ++i) records[i].index = Int16(first + Int32(i));
    for (const Story& s : list.stories) {
        if (size_t(s.index - first) >= count) continue;
        API_StoryType& record = records[size_t(s.index - first)];
        record.level = s.level;
        GS::ucsncpy(record.uName, s.name.c_str(), 256);
    }
    info->data = reinterpret_cast<API_StoryType**>(h);
    return NoError;
}

GSErrCode ChangeStories(Project& project, const API_StoryCmdType* cmd)
{
    if (cmd == nullptr || !KnownStoryAction(cmd->action)) return APIERR_BADPARS;
    const StoryList& current = project.Stories();
    const Story* story = current.Find(cmd->index);
    if (story == nullptr) return APIERR_BADPARS;
    if (cmd->action == APIStory_GoTo) {
        project.StoriesForChange().current = cmd->index;
        // Going to a story opens its floor plan, whatever worksheet or other database was shown.
        if (const API_Guid plan = project.Docs().FloorPlan(); plan != APINULLGuid)
            project.Docs().currentDatabase = plan;
        return NoError;
    }
    if (!project.InCommand()) return APIERR_NEEDSUNDOSCOPE;
    switch (cmd->action) {
    case APIStory_InsAbove:
    case APIStory_InsBelow: {
        if (!std::isfinite(cmd->height) || !std::isfinite(cmd->elevation)) return APIERR_BADPARS;
        if (cmd->index == INT16_MAX) return APIERR_BADPARS;
        StoryList& list = project.StoriesForChange();
        size_t pos = 0;
        while (list.stories[pos].index != cmd->index) ++pos;
        size_t insertAt = cmd->action == APIStory_InsAbove ? pos + 1 : pos;
        Int16 newIndex = cmd->action == APIStory_InsAbove ? Int16(cmd->index + 1) : cmd->index;
        if (insertAt < list.stories.size()) {
            // Elements on the stories that move keep their story.
            for (size_t i = insertAt; i < list.stories.size(); ++i)
                list.stories[i].index = Int16(list.stories[i].index + 1);
            for (const API_Guid& guid : project.Elements().AllInOrder()) {
                const StoredElement* e = project.FindElement(guid);
                if (e->record.header.floorInd >= newIndex)
                    project.ElementForChange(guid)->record.header.floorInd = Int16(e->record.header.floorInd + 1);
            }
        }
        Story added{newIndex, cmd->elevation, cmd->height, NameField(cmd->uName)};
        list.stories.insert(list.stories.begin() + long(insertAt), added);
        return NoError;
    }
    case APIStory_Rename:
        for (Story& s : project.StoriesForChange().stories)
            if (s.index == cmd->index) s.name = NameField(cmd->uName);
        return NoError;
    case APIStory_SetHeight:
        if (!std::isfinite(cmd->height) || cmd->height <= 0.0) return APIERR_BADPARS;
        for (Story& s : project.StoriesForChange().stories)
            if (s.index == cmd->index) s.height = cmd->height;
        return NoError;
    case APIStory_SetElevation:
        if (!std::isfinite(cmd->elevation)) return APIERR_BADPARS;
        for (Story& s : project.StoriesForChange().stories)
            if (s.index == cmd->index) s.level = cmd->elevation;
        return NoError;
    default: return APIERR_BADPARS;
    }
}

}  // namespace

GSErrCode ACAPI_Environment(API_EnvironmentID code, void* par1, void*, void*)
{
    CallContext context;
    context.typeID = code;
    ApiCall call("ACAPI_Environment", "code=" + std::to_string(code), context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    switch (code) {
    case APIEnv_ProjectID: return call.Return(GetProjectInfo(project, static_cast<API_ProjectInfo*>(par1)));
    case APIEnv_GetStorySettingsID: return call.Return(GetStories(project, static_cast<API_StoryInfo*>(par1)));
    case APIEnv_ChangeStorySettingsID:
        return call.Return(project.NoteShownChange(ChangeStories(project, static_cast<const API_StoryCmdType*>(par1))));
    default: return call.Return(APIERR_BADPARS);
    }
}

void HostTesting::SetStoryListShape(StoryListShape shape) { g_storyListShape = shape; }
