#include "project/ProjectRevision.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace HostInternal {

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::uint64_t g_revision = 1;

}  // namespace

void NoteProjectChange()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        ++g_revision;
    }
    g_changed.notify_all();
}

std::uint64_t ProjectRevision()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_revision;
}

std::uint64_t WaitForProjectChange(std::uint64_t seen, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                       [seen] { return g_revision != seen; });
    return g_revision;
}

}  // namespace HostInternal
