#pragma once

// What the emulated host did with the addresses the add-on asked it to open in the browser:
// each is kept for tests, and handed to the opener the shell installs (which prints it). A
// refusal is injected like any host failure, by the function name "NSWorkspace openURL".

#include <functional>
#include <string>
#include <vector>

namespace HostTesting {

// Every address opened since the last ClearOpenedUrls, in order.
std::vector<std::string> OpenedUrls();
void ClearOpenedUrls();

// Called with each address opened; an empty function only keeps the list.
void InstallUrlOpener(std::function<void(const std::string& url)> opener);

}  // namespace HostTesting
