#pragma once

// Every test of the palette and the add-on's entry points starts, beyond the shared fixture
// (which gives it a home folder of its own for the settings), with no add-on loaded, no palette
// alive and no real language model within reach.

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
    }

    static std::string ReadFile(const fs::path& path)
    {
        std::ifstream in(path);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static fs::path SettingsPath() { return fs::path(HomeDir()) / ".quillmere" / "settings.json"; }
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
};
