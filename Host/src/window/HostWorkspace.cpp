// The emulated workspace: addresses the add-on opens in the browser are kept for tests and
// handed to the shell's opener.

#include "HostWorkspace.hpp"

#include <mutex>
#include <utility>

#include "HostTestingWorkspace.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

struct Workspace {
    std::mutex mutex;
    std::vector<std::string> opened;
    std::function<void(const std::string&)> opener;
};

Workspace& TheWorkspace()
{
    static Workspace workspace;
    return workspace;
}

bool IsBrowserAddress(const std::string& url)
{
    if (url.find_first_of(std::string("\r\n\0 ", 4)) != std::string::npos) return false;
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

}  // namespace

bool HostOpenURL(const GS::UniString& url)
{
    const std::string text = url.ToStdString();
    ApiCall call("NSWorkspace openURL", text);
    if (call.Injected() != NoError || !IsBrowserAddress(text)) {
        call.Return(APIERR_GENERAL);
        return false;
    }
    std::function<void(const std::string&)> opener;
    {
        Workspace& w = TheWorkspace();
        std::lock_guard<std::mutex> lock(w.mutex);
        w.opened.push_back(text);
        opener = w.opener;
    }
    if (opener) opener(text);
    call.Return(NoError);
    return true;
}

std::vector<std::string> HostTesting::OpenedUrls()
{
    Workspace& w = TheWorkspace();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.opened;
}

void HostTesting::ClearOpenedUrls()
{
    Workspace& w = TheWorkspace();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.opened.clear();
}

void HostTesting::InstallUrlOpener(std::function<void(const std::string& url)> opener)
{
    Workspace& w = TheWorkspace();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.opener = std::move(opener);
}
