#include "gs/Memory.hpp"
#include "APIdefs_Errors.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace {

// A handle points at the master pointer of its block; the block may move on resize.
struct HandleBlock {
    char* data;
    GSSize size;
};

struct MemoryState {
    std::mutex mutex;
    std::unordered_map<const void*, HandleBlock*> handles;  // key: the handle
    std::unordered_map<const void*, GSSize> pointers;
    int failAfter = 0;  // allocations to let through before failing; 0 = no failure pending
    int failCount = 0;
    Int64 badFrees = 0;
};

MemoryState& State()
{
    static MemoryState* state = new MemoryState;  // outlives static destructors of tests
    return *state;
}

// Called with the mutex held: true when this allocation must fail.
bool TakeFailure(MemoryState& s)
{
    if (s.failCount <= 0) return false;
    if (s.failAfter > 1) {
        --s.failAfter;
        return false;
    }
    --s.failCount;
    return true;
}

char* RawAllocate(GSSize size, Int32 flags)
{
    size_t bytes = size > 0 ? size_t(size) : 1;
    char* p = static_cast<char*>((flags & ALLOCATE_CLEAR) ? std::calloc(1, bytes) : std::malloc(bytes));
    return p;
}

}  // namespace

namespace HostInternal {

void FailAllocation(int nth, int count)
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failAfter = nth < 1 ? 1 : nth;
    s.failCount = count;
}

void ClearAllocationFailures()
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failAfter = 0;
    s.failCount = 0;
}

Int64 LiveHandleCount()
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return Int64(s.handles.size() + s.pointers.size());
}

Int64 BadFreeCount()
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.badFrees;
}

void ResetBadFreeCount()
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.badFrees = 0;
}

}  // namespace HostInternal

GSHandle BMAllocateHandle(GSSize size, Int32 flags, Int32)
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (size < 0 || TakeFailure(s)) return nullptr;
    char* data = RawAllocate(size, flags);
    if (data == nullptr) return nullptr;
    HandleBlock* block = new HandleBlock{data, size};
    GSHandle handle = &block->data;
    s.handles.emplace(handle, block);
    return handle;
}

GSHandle BMReallocHandle(GSHandle handle, GSSize newSize, Int32, Int32)
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.handles.find(handle);
    if (it == s.handles.end() || newSize < 0 || TakeFailure(s)) return nullptr;
    HandleBlock* block = it->second;
    char* data = static_cast<char*>(std::realloc(block->data, newSize > 0 ? size_t(newSize) : 1));
    if (data == nullptr) return nullptr;
    if (newSize > block->size) std::memset(data + block->size, 0, size_t(newSize - block->size));
    block->data = data;
    block->size = newSize;
    return handle;
}

GSErrCode BMKillHandle(GSHandle* handle)
{
    if (handle == nullptr || *handle == nullptr) return NoError;
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.handles.find(*handle);
    if (it == s.handles.end()) {
        // Not ours or already freed: count it for the tests, touch nothing.
        ++s.badFrees;
        *handle = nullptr;
        return APIERR_GENERAL;
    }
    std::free(it->second->data);
    delete it->second;
    s.handles.erase(it);
    *handle = nullptr;
    return NoError;
}

GSSize BMGetHandleSize(GSConstHandle handle)
{
    if (handle == nullptr) return 0;
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.handles.find(handle);
    return it == s.handles.end() ? 0 : it->second->size;
}

GSErrCode BMHandleToHandle(GSConstHandle source, GSHandle* copy)
{
    if (copy == nullptr) return APIERR_GENERAL;
    *copy = nullptr;
    if (source == nullptr) return APIERR_GENERAL;
    GSSize size = BMGetHandleSize(source);
    GSHandle h = BMAllocateHandle(size, 0, 0);
    if (h == nullptr) return APIERR_MEMFULL;
    if (size > 0) std::memcpy(*h, *source, size_t(size));
    *copy = h;
    return NoError;
}

GSPtr BMAllocatePtr(GSSize size, Int32 flags, Int32)
{
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (size < 0 || TakeFailure(s)) return nullptr;
    char* p = RawAllocate(size, flags);
    if (p != nullptr) s.pointers.emplace(p, size);
    return p;
}

GSErrCode BMKillPtr(GSPtr* ptr)
{
    if (ptr == nullptr || *ptr == nullptr) return NoError;
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.pointers.find(*ptr);
    if (it == s.pointers.end()) {
        ++s.badFrees;
        *ptr = nullptr;
        return APIERR_GENERAL;
    }
    std::free(*ptr);
    s.pointers.erase(it);
    *ptr = nullptr;
    return NoError;
}

GSSize BMGetPtrSize(GSConstPtr ptr)
{
    if (ptr == nullptr) return 0;
    MemoryState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.pointers.find(ptr);
    return it == s.pointers.end() ? 0 : it->second;
}
