#pragma once

// Every test of the palette and the add-on's entry points starts, beyond the shared fixture,
// with its own home folder (settings), no add-on loaded and no palette alive.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AddOnHost.hpp"
#include "MainQueue.hpp"
#include "PaletteHost.hpp"
#include "QuillmereTest.hpp"
#include "main/PaletteControl.hpp"
#include "palette/ChatPalette.hpp"

namespace fs = std::filesystem;

class ShellTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        fs::create_directories(root / "home");
        oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", (root / "home").c_str(), 1);
        // Nothing in these tests may reach a real service.
        setenv("QUILLMERE_ANTHROPIC_URL", "http://127.0.0.1:9", 1);
        setenv("QUILLMERE_OPENAI_URL", "http://127.0.0.1:9", 1);
        AddOnHost::Reset();
    }

    void TearDown() override
    {
        ChatPalette::DestroyInstance();
        ResetPaletteControl();
        AddOnHost::Reset();
        QuillmereTest::TearDown();
        setenv("HOME", oldHome.c_str(), 1);
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    static std::string ReadFile(const fs::path& path)
    {
        std::ifstream in(path);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path SettingsPath() const { return root / "home" / ".quillmere" / "settings.json"; }
    void WriteSettingsFile(const std::string& json) const
    {
        fs::create_directories(SettingsPath().parent_path());
        std::ofstream(SettingsPath()) << json;
    }

    static std::vector<std::string> Scripts(ChatPalette& p)
    {
        return PaletteHost::ExecutedScripts(p.GetBrowser().GetId());
    }

    // Calls a function of the page's bridge object the way the page does.
    static JS::Value Call(ChatPalette& palette, const std::string& function, const std::vector<JS::Value>& args = {})
    {
        JS::Value result;
        std::string error;
        const int id = palette.GetBrowser().GetId();
        EXPECT_TRUE(PaletteHost::CallBridgeFunction(id, "Quillmere", function, args, result, error)) << error;
        return result;
    }

    const fs::path root = fs::temp_directory_path() / ("quillmere_shell_" + std::to_string(::getpid()));
    std::string oldHome;
};
