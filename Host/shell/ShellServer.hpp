#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "RequestGuard.hpp"

namespace httplib {
class Server;
}

// The emulated host's window system, served on 127.0.0.1: the host window (a plan view with
// the add-on's menu) at "/", and every browser control of every palette under
// "/browser/<id>/" (its document, its bridge calls and its ExecuteJS event stream).
// Request threads never touch the project or the add-on: that work is handed to the main
// thread through the main queue.
class ShellServer {
public:
    struct AddOnInfo {
        std::string name;
        std::string description;
    };

    ShellServer();
    ~ShellServer();

    // Binds 127.0.0.1:port (0 picks a free port) for this server alone and starts serving.
    // A port another program holds is refused (never shared), unless fallBack allows a free
    // port instead. False when no port could be bound.
    bool Start(int port, const AddOnInfo& addOn, bool fallBack = false);
    // The port bound (0 before Start).
    int Port() const { return port; }
    // The address a person opens: it carries the run's token.
    std::string Address() const;
    const std::string& Token() const;

    // Stops serving. Main thread: it keeps the main queue running until every request in
    // flight has finished, since those may be waiting for the main thread.
    void Stop();

private:
    // The routes, installed by group.
    void InstallRoutes();
    void InstallRequestChecks();
    void InstallWindowRoutes();
    void InstallPlanPicture();
    void InstallBridgeRoutes();
    void InstallEventStreams();

    std::unique_ptr<httplib::Server> server;
    std::unique_ptr<RequestGuard> guard;
    AddOnInfo addOn;
    int port = 0;
    std::thread listener;
    std::atomic<bool> stopping{false};
    std::atomic<bool> listening{false};
    std::atomic<int> openEventStreams{0};
    std::mutex planDrawing;
};
