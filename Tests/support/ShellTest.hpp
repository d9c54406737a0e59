#pragma once

// Every test of the palette and the add-on's entry points starts, beyond the shared fixture
// (which gives it a home folder of its own for the settings), with no add-on loaded, no palette
// alive and no real language model within reach.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AddOnHost.hpp"
#include "MainQueue.hpp"
#include "PaletteHost.hpp"
#include "QuillmereTest.hpp"
#include "main/PaletteControl.hpp"
#include "palette/ChatPalette.hpp"

namespace fs = std::filesystem;

class ShellTest : public QuillmereTest {
public:
    // The one text argument of a QuillmereUI.function('...') call as the page receives it (the
    // palette's escaping undone); nothing when the script is another call.
    static std::optional<std::string> CallArgument(const std::string& script, const std::string& function);

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
    static bool AnyScriptStartsWith(ChatPalette& palette, const std::string& prefix)
    {
        const auto scripts = Scripts(palette);
        return std::any_of(scripts.begin(), scripts.end(),
                           [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
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

    // The entries a page that reloads now is given; null when none are.
    static nlohmann::json ReplayedEntries(ChatPalette& palette)
    {
        Call(palette, "replayConversation", {JS::Value("p")});
        const auto text = CallArgument(Scripts(palette).back(), "showConversation");
        const nlohmann::json shown = text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json();
        return shown.is_object() ? shown.value("entries", nlohmann::json()) : nlohmann::json();
    }
};

inline std::optional<std::string> ShellTest::CallArgument(const std::string& script, const std::string& function)
{
    const std::string head = "QuillmereUI." + function + "('", tail = "')";
    if (script.rfind(head, 0) != 0 || script.size() < head.size() + tail.size()) return std::nullopt;
    const std::string literal = script.substr(head.size(), script.size() - head.size() - tail.size());
    std::string text;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] != '\\' || i + 1 == literal.size()) {
            text += literal[i];
            continue;
        }
        const char next = literal[++i];
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return text;
}
