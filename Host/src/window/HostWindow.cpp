// The emulated host's two windows and their capture: the main window shows the plan view (as
// whatever picture the shell or a test installed), the key window is the palette.

#include "HostWindow.hpp"

#include <mutex>
#include <utility>

#include "HostTestingWindow.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

struct Windows {
    std::mutex mutex;
    std::optional<HostTesting::WindowSize> main{HostTesting::WindowSize{1200, 800}};
    std::optional<HostTesting::WindowSize> key{HostTesting::WindowSize{420, 720}};
    HostTesting::WindowPicture picture;
};

Windows& TheWindows()
{
    static Windows windows;
    return windows;
}

std::optional<HostTesting::WindowSize> SizeOf(CGWindowID window)
{
    Windows& w = TheWindows();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (window == HostTesting::kMainWindowNumber) return w.main;
    if (window == HostTesting::kKeyWindowNumber) return w.key;
    return std::nullopt;
}

CGWindowID Lookup(const char* function, CGWindowID number)
{
    ApiCall call(function, "");
    if (call.Injected() != NoError || !SizeOf(number)) {
        call.Return(APIERR_GENERAL);
        return 0;
    }
    call.Return(NoError);
    return number;
}

}  // namespace

CGWindowID HostWindow::MainWindowNumber() { return Lookup("NSApp mainWindow", HostTesting::kMainWindowNumber); }

CGWindowID HostWindow::KeyWindowNumber() { return Lookup("NSApp keyWindow", HostTesting::kKeyWindowNumber); }

std::string HostWindow::CaptureWindowPng(CGWindowID window)
{
    std::vector<unsigned char> png;
    {
        ApiCall capture("CGWindowListCreateImage", "window=" + std::to_string(window));
        const std::optional<HostTesting::WindowSize> size = SizeOf(window);
        HostTesting::WindowPicture picture;
        {
            std::lock_guard<std::mutex> lock(TheWindows().mutex);
            picture = TheWindows().picture;
        }
        if (capture.Injected() != NoError || !size || !picture) {
            capture.Return(APIERR_GENERAL);
            return {};
        }
        png = picture(size->width, size->height);
        if (png.empty()) {
            capture.Return(APIERR_GENERAL);
            return {};
        }
        capture.Return(NoError);
    }
    ApiCall encode("NSBitmapImageRep representationUsingType", "type=4");
    if (encode.Injected() != NoError) {
        encode.Return(APIERR_GENERAL);
        return {};
    }
    encode.Return(NoError);
    return std::string(png.begin(), png.end());
}

void HostTesting::InstallWindowPicture(WindowPicture picture)
{
    std::lock_guard<std::mutex> lock(TheWindows().mutex);
    TheWindows().picture = std::move(picture);
}

void HostTesting::SetMainWindow(std::optional<WindowSize> size)
{
    std::lock_guard<std::mutex> lock(TheWindows().mutex);
    TheWindows().main = size;
}

void HostTesting::SetKeyWindow(std::optional<WindowSize> size)
{
    std::lock_guard<std::mutex> lock(TheWindows().mutex);
    TheWindows().key = size;
}

void HostTesting::ResetWindows()
{
    std::lock_guard<std::mutex> lock(TheWindows().mutex);
    TheWindows().main = WindowSize{1200, 800};
    TheWindows().key = WindowSize{420, 720};
}
