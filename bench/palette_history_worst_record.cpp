// What reading the costliest record of a conversation file takes, in time and in memory at its
// peak: a record made of nothing but small values (a tool input of empty objects, the values that
// cost most each), at the cap that is read and just past it (refused as it is parsed), a 16 MiB
// damaged line of them and the same line whole, past what its length allows, and a 16 MiB list of
// numbers. This program counts every allocation to give the peak;
// run it alone, as the counting slows every allocation a little.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include "palette/ConversationRecords.hpp"

namespace {

std::atomic<std::size_t> live{0}, peak{0};

void* Allocate(std::size_t size)
{
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    const std::size_t now = live += ::malloc_usable_size(memory);
    for (std::size_t high = peak; now > high && !peak.compare_exchange_weak(high, now);) {}
    return memory;
}

void Free(void* memory)
{
    if (memory == nullptr) return;
    live -= ::malloc_usable_size(memory);
    std::free(memory);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { Free(memory); }
void operator delete[](void* memory) noexcept { Free(memory); }
void operator delete(void* memory, std::size_t) noexcept { Free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Free(memory); }

namespace {

enum Line { kPastTheCap, kAtTheCap, kDamaged16MiB, kWhole16MiB, kNumbers16MiB };

// A first record asking a question, then the record of range(0).
std::string FileOf(Line line)
{
    const std::string question =
        R"([{"history":[{"content":[{"text":"Trace it","type":"text"}],"role":"user"}],"history_at":[0,0],)"
        R"("transcript":[],"transcript_at":0,"version":2}])"
        "\n";
    const std::string head = R"([{"history":[{"content":[{"id":"c1","input":{"p":[)",
                      tail = R"(]},"name":"trace","type":"tool_use"}],"role":"assistant"},)"
                             R"({"content":[{"id":"c1","is_error":false,"text":"{}","type":"tool_result"}],)"
                             R"("role":"user"}],"history_at":[1,1],"transcript":[],"transcript_at":0,"version":2}])";
    const auto record = [&](std::size_t objects, bool whole) {
        std::string line = head;
        line.reserve(head.size() + 3 * objects + tail.size() + 1);
        for (std::size_t i = 0; i < objects; ++i) line += i == 0 ? "{}" : ",{}";
        return whole ? line + tail : line;
    };
    if (line == kNumbers16MiB) {  // the list of values that grows most often
        std::string numbers = head + "0";
        numbers.resize(head.size() + (16u << 20), '0');
        for (std::size_t i = head.size() + 1; i < numbers.size(); i += 2) numbers[i] = ',';
        return question + numbers + tail + "\n";
    }
    std::size_t objects = (16u << 20) / 3;
    if (line == kAtTheCap || line == kPastTheCap) {
        // Each empty object costs as much as the next; what is around them is counted once.
        const std::string none = record(0, true), one = record(1, true);
        const std::size_t around = RecordCost(none, 0, none.size()), each = RecordCost(one, 0, one.size()) - around;
        objects = (kRecordCostFloor - around) / each + (line == kPastTheCap ? 1 : 0);
    }
    return question + record(objects, line != kDamaged16MiB) + "\n";
}

void BM_ReadWorstRecord(benchmark::State& state)
{
    const std::string file = FileOf(static_cast<Line>(state.range(0)));
    std::size_t peakBytes = 0, blocks = 0;
    for (auto _ : state) {
        const std::size_t before = live;
        peak = before;
        DecodedConversation read;
        std::string why;
        if (!DecodeRecords(file, read, why)) return state.SkipWithError(why.c_str());
        peakBytes = std::max(peakBytes, peak - before);
        blocks = 0;
        for (const HistoryMessage& message : read.history) blocks += message.blocks.size();
    }
    state.counters["file_MiB"] = static_cast<double>(file.size()) / (1 << 20);
    state.counters["peak_MB"] = static_cast<double>(peakBytes) / 1e6;
    state.counters["blocks_read"] = static_cast<double>(blocks);  // 1: the record was refused
}
BENCHMARK(BM_ReadWorstRecord)
    ->Arg(kPastTheCap)
    ->Arg(kAtTheCap)
    ->Arg(kDamaged16MiB)
    ->Arg(kWhole16MiB)
    ->Arg(kNumbers16MiB)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
