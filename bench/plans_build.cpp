// The plan family's builders at the sizes a large plan reaches: a layout of 10,000 walls,
// 5,000 openings and 1,000 zones, and batches of 10,000 and 100,000 walls (the larger beside
// its floor), each one undo step; and an attachment of 20 MB decoded from base64, beside a
// plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "core/Base64.hpp"
#include "engine/ModelBridge.hpp"
#include "tools/ToolFamilies.hpp"

using nlohmann::json;

namespace {

constexpr int kWalls = 10000;
constexpr int kOpenings = 5000;
constexpr int kZones = 1000;

// Walls in rows of 100 along x, 6 m each, rows 4 m apart; every other wall gets an opening,
// and one zone per 10 walls.
json Layout()
{
    json walls = json::array(), openings = json::array(), rooms = json::array();
    for (int i = 0; i < kWalls; ++i) {
        const double x = 6.0 * (i % 100), y = 4.0 * (i / 100);
        walls.push_back(
            {{"id", "w" + std::to_string(i)}, {"start", {x, y}}, {"end", {x + 6.0, y}}, {"thickness", 0.2}});
    }
    for (int i = 0; i < kOpenings; ++i)
        openings.push_back(
            {{"host_wall", "w" + std::to_string(2 * i)}, {"type", i % 2 ? "window" : "door"}, {"offset", 3.0}});
    for (int i = 0; i < kZones; ++i) {
        const double x = 60.0 * (i % 10), y = 4.0 * (i / 10);
        rooms.push_back(
            {{"name", "Room " + std::to_string(i)}, {"polygon", {{x, y}, {x + 60, y}, {x + 60, y + 4}, {x, y + 4}}}});
    }
    return {{"walls", walls}, {"openings", openings}, {"rooms", rooms}};
}

struct Family {
    ModelBridge bridge;  // its registry is not used; the family only needs the engine for uploads
    ToolRegistry registry;
    Family()
    {
        RegisterPlanTools(
            registry, [](const std::string&, const std::string&) {}, nullptr, bridge);
    }
};

void BM_BuildFromLayout(benchmark::State& state)
{
    Family family;
    const json layout = Layout();
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        const ToolResult result = family.registry.ExecuteTool("build_from_layout", layout);
        if (!result.success || json::parse(result.message)["total_elements"] != kWalls + kOpenings + kZones)
            state.SkipWithError(result.success ? result.message.substr(0, 200).c_str() : result.error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * (kWalls + kOpenings + kZones));
}

// create_walls_batch at project scale, beside its floor: the same walls made one by one through
// the host interface inside one undoable command, from the wall defaults read once.
constexpr int kBatchWalls = 100000;

// state.range(0) walls in one call.
void BM_CreateWallsBatch(benchmark::State& state)
{
    Family family;
    json walls = json::array();
    for (int i = 0; i < state.range(0); ++i)
        walls.push_back({{"start_x", 0.0}, {"start_y", 0.5 * i}, {"end_x", 6.0}, {"end_y", 0.5 * i}});
    const json input = {{"walls", walls}};
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        const ToolResult result = family.registry.ExecuteTool("create_walls_batch", input);
        if (!result.success) state.SkipWithError(result.error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CreateWallsFloor100k(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        HostTesting::ResetProject();
        state.ResumeTiming();
        const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Walls"), [] {
            API_Element defaults;
            BNClear(defaults);
            defaults.header.type.typeID = API_WallID;
            ACAPI_Element_GetDefaults(&defaults, nullptr);
            for (int i = 0; i < kBatchWalls; ++i) {
                API_Element e = defaults;
                e.wall.begC = {0.0, 0.5 * i};
                e.wall.endC = {6.0, 0.5 * i};
                if (GSErrCode code = ACAPI_Element_Create(&e, nullptr)) return code;
            }
            return NoError;
        });
        if (err != NoError) state.SkipWithError("walls not made");
    }
    state.SetItemsProcessed(state.iterations() * kBatchWalls);
}

constexpr size_t kAttachmentBytes = 20u << 20;

std::string Base64Of(size_t bytes)
{
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve(bytes / 3 * 4 + bytes / 57 * 2);
    for (size_t i = 0; i < bytes / 3 * 4; ++i) {
        text += alphabet[(i * 7919) % 64];
        if (i % 76 == 75) text += "\r\n";  // line breaks as mail and some pages insert them
    }
    return text;
}

void BM_DecodeAttachment(benchmark::State& state)
{
    const std::string text = Base64Of(kAttachmentBytes);
    std::string bytes;
    for (auto _ : state) {
        if (!DecodeBase64(text, bytes)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kAttachmentBytes));
}

void BM_CopyAttachmentBytes(benchmark::State& state)
{
    const std::string source(kAttachmentBytes, 'x');
    std::string bytes;
    for (auto _ : state) {
        bytes.assign(source.size(), '\0');
        std::memcpy(&bytes[0], source.data(), source.size());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kAttachmentBytes));
}

}  // namespace

BENCHMARK(BM_BuildFromLayout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateWallsBatch)->Unit(benchmark::kMillisecond)->Arg(kWalls)->Arg(kBatchWalls);
BENCHMARK(BM_CreateWallsFloor100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAttachment)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyAttachmentBytes)->Unit(benchmark::kMillisecond);
