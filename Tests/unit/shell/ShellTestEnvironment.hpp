#pragma once

// What every shell test starts from: its own home folder (settings) and debug log, the test
// thread as the host's main thread, no add-on loaded and no palette alive.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "AddOnHost.hpp"
#include "MainQueue.hpp"
#include "main/PaletteControl.hpp"
#include "palette/ChatPalette.hpp"
#include "palette/DebugLog.hpp"

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::filesystem::temp_directory_path() /
               ("quillmere_shell_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(root / "home");
        oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", (root / "home").c_str(), 1);
        // Nothing in these tests may reach a real service.
        setenv("QUILLMERE_ANTHROPIC_URL", "http://127.0.0.1:9", 1);
        setenv("QUILLMERE_OPENAI_URL", "http://127.0.0.1:9", 1);
        SetDebugLogPath((root / "debug.log").string());
        MainQueue::SetMainThread();
        MainQueue::DiscardPending();
        AddOnHost::Reset();
    }

    void TearDown() override
    {
        ChatPalette::DestroyInstance();
        ResetPaletteControl();
        AddOnHost::Reset();
        MainQueue::DrainUntilIdle();
        SetDebugLogPath("");
        setenv("HOME", oldHome.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    std::string DebugLogText() const
    {
        std::ifstream in(root / "debug.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void WriteSettingsFile(const std::string& json) const
    {
        std::filesystem::create_directories(root / "home" / ".quillmere");
        std::ofstream(root / "home" / ".quillmere" / "settings.json") << json;
    }

    static std::string ResourceDir()
    {
        return (std::filesystem::path(__FILE__).parent_path() / "../../../Src/resources").lexically_normal().string();
    }

    std::filesystem::path root;

private:
    std::string oldHome;
    static inline int counter = 0;
};
