#pragma once

// The host's story settings, read once per operation, with the list handle freed on every way
// out; and a story's name read safely from its fixed field.

#include <string>

#include "ACAPinc.h"

#include "tools/HostText.hpp"

// The host's story settings with their list handle, which is freed on every way out of the
// operation that read them.
class StorySettings {
public:
    StorySettings() { BNClear(info_); }
    ~StorySettings() { Release(); }
    StorySettings(const StorySettings&) = delete;
    StorySettings& operator=(const StorySettings&) = delete;

    GSErrCode Read() { return ACAPI_Environment(APIEnv_GetStorySettingsID, &info_); }
    void Release() { BMKillHandle(&info_.data); }
    const API_StoryInfo& Info() const { return info_; }

    // True when the handle holds one record for every index from first to last; a missing or
    // short handle has nothing that can be read safely.
    bool HoldsEveryStory() const
    {
        if (info_.firstStory > info_.lastStory || info_.data == nullptr) return false;
        const size_t wanted = size_t(info_.lastStory - info_.firstStory) + 1;
        return size_t(BMGetHandleSize(info_.data)) / sizeof(API_StoryType) >= wanted;
    }
    const API_StoryType& Record(Int16 index) const { return (*info_.data)[index - info_.firstStory]; }

private:
    API_StoryInfo info_;
};

// A story's name as 8-bit text, read within its field even when the host left no terminator.
inline std::string StoryNameOf(const API_StoryType& story) { return FieldNameText(story.uName); }
