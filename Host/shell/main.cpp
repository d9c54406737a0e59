// quillmere-host: the emulated host application. It opens the embedded default project,
// loads the add-on through its entry points, serves its window on 127.0.0.1 and runs the
// main loop (the main queue) until it is told to quit.

#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "AddOnHost.hpp"
#include "HostTesting.hpp"
#include "HostTestingWorkspace.hpp"
#include "MainQueue.hpp"
#include "PlanViewPdf.hpp"
#include "PlanWindow.hpp"
#include "ShellServer.hpp"

namespace {

std::atomic<bool> quitRequested{false};

// Ctrl+C and SIGTERM are taken by one thread of their own rather than a signal handler, so
// that quitting can tell the add-on at once (it may be holding the main thread in a long
// request) with no limit on what its notice handler may call. Blocked before any other thread
// starts, so that every thread inherits the mask and only this one receives them. The watcher
// is detached: it ends with the first signal or with the process.
void WatchQuitSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        int received = 0;
        sigwait(&signals, &received);
        quitRequested = true;
        AddOnHost::NotifyQuit();
    }).detach();
}

constexpr int kDefaultPort = 7480;

struct Options {
    int port = kDefaultPort;
    bool portGiven = false;
    bool showPalette = false;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) return false;
            options.port = static_cast<int>(port);
            options.portGiven = true;
        } else if (arg == "--show-palette") {
            options.showPalette = true;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << "usage: quillmere-host [--port N (0 picks a free port)] [--show-palette]\n";
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    WatchQuitSignals();

    MainQueue::SetMainThread();
    // A fresh project with fresh GUIDs: a GUID from an earlier run's conversation names nothing.
    HostTesting::ResetProject(HostTesting::GuidSeed::Random);
    PlanViewPdf::Install();  // 'PUBL' draws its pages through the window's plan view
    PlanWindow::Install();   // a capture of the host's window shows its plan view
    // The shell has no browser of its own to start: the user opens what the add-on asks for.
    HostTesting::InstallUrlOpener([](const std::string& url) {
        std::cout << "The add-on asks to open this page in your browser:\n  " << url << "\n" << std::flush;
    });

    AddOnHost::EntryPoints entryPoints;
    entryPoints.checkEnvironment = &CheckEnvironment;
    entryPoints.registerInterface = &RegisterInterface;
    entryPoints.initialize = &Initialize;
    entryPoints.freeData = &FreeData;
    entryPoints.resourceData = &AddOnResourceData;
    const AddOnHost::LoadReport report = AddOnHost::Load(entryPoints);
    if (!report.loaded) {
        std::cerr << "The add-on did not load: " << report.error << "\n";
        return 1;
    }

    // Without --port a taken default port gives way to a free one; a port asked for is that
    // port or nothing, since whoever asked for it expects the host there.
    ShellServer server;
    if (!server.Start(options.port, ShellServer::AddOnInfo{report.name, report.description}, !options.portGiven)) {
        std::cerr << "Cannot listen on 127.0.0.1:" << options.port
                  << (options.portGiven ? ": the port is taken or not allowed. Choose another with --port N, "
                                          "or --port 0 for any free port.\n"
                                        : ": no free port was found.\n");
        AddOnHost::Unload();
        return 1;
    }
    if (server.Port() != options.port && options.port != 0)
        std::cout << "Port " << options.port << " is taken; using port " << server.Port() << " instead.\n";

    if (options.showPalette) {
        for (const auto& item : AddOnHost::MenuItems()) {
            AddOnHost::ChooseMenuItem(item.menuResID, item.itemIndex);
            break;
        }
    }

    std::cout << "Quillmere host is running with " << report.name << " loaded.\n"
              << "Open this address in a browser (it holds this run's access token):\n"
              << "  " << server.Address() << "\n"
              << "Press Ctrl+C to quit.\n"
              << std::flush;

    while (!quitRequested) MainQueue::RunFor(std::chrono::milliseconds(100));

    std::cout << "Quitting...\n" << std::flush;
    server.Stop();
    AddOnHost::Unload();
    MainQueue::DrainUntilIdle();
    return 0;
}
