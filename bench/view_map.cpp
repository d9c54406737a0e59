// list_views over a View Map of 10,000 items: 100 folders of three levels (a folder holding
// 30 views and a sub-folder of 30 views and a sub-sub-folder of 37), walked and written out
// as one JSON array.
#include <benchmark/benchmark.h>

#include <string>

#include "HostTesting.hpp"
#include "HostTestingNavigator.hpp"
#include "core/ToolRegistry.hpp"

namespace {

constexpr int kItems = 10000;

int BuildViewMap()
{
    HostTesting::ResetProject();
    HostTesting::ClearNavigatorMap(API_PublicViewMap);
    const API_Guid root = HostTesting::NavigatorRoot(API_PublicViewMap);
    int items = 0;
    for (int f = 0; f < 100; ++f) {
        API_Guid folder = HostTesting::AddNavigatorItem(root, "Folder " + std::to_string(f), API_FolderNavItem);
        ++items;
        for (int level = 0; level < 3; ++level) {
            const int views = level == 2 ? 37 : 30;
            for (int v = 0; v < views; ++v, ++items)
                HostTesting::AddNavigatorItem(
                    folder, "View " + std::to_string(f) + "." + std::to_string(level) + "." + std::to_string(v),
                    API_StoryNavItem);
            if (level < 2) {
                folder = HostTesting::AddNavigatorItem(folder, "Sub " + std::to_string(level), API_FolderNavItem);
                ++items;
            }
        }
    }
    return items;
}

void BM_ListViewsOf10000Items(benchmark::State& state)
{
    const int items = BuildViewMap();
    if (items != kItems) state.SkipWithError("the map does not hold 10,000 items");
    ToolRegistry registry;
    size_t bytes = 0;
    for (auto _ : state) {
        const ToolResult result = registry.ExecuteTool("list_views", nlohmann::json::object());
        if (!result.success) state.SkipWithError("list_views failed");
        bytes = result.message.size();
        HostTesting::ClearCallLog();
    }
    state.counters["message_KB"] = double(bytes) / 1024.0;
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_ListViewsOf10000Items)->Unit(benchmark::kMillisecond);

}  // namespace
