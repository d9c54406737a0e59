// The add-on's entry points in the host: what loading registers, a failed registration, and
// the menu and the host's palette messages driving one palette until the add-on is unloaded;
// a write past the file-size limit failing rather than ending the host.
#include <csignal>

#include <sys/resource.h>

#include "HttpTestSupport.hpp"
#include "ShellTest.hpp"
#include "core/HttpClient.hpp"
#include "palette/ConversationLog.hpp"

class EntryPointTest : public ShellTest {
protected:
    AddOnHost::LoadReport Load()
    {
        return AddOnHost::Load({&CheckEnvironment, &RegisterInterface, &Initialize, &FreeData, &AddOnResourceData});
    }
    GSErrCode ChooseItem() { return AddOnHost::ChooseMenuItem(kQuillmereMenuResId, kPaletteMenuItemIndex); }
    GSErrCode Message(API_PaletteMessageID id, intptr_t param = 0)
    {
        return AddOnHost::SendPaletteMessage(ChatPalette::PaletteReferenceId(), id, param);
    }
    // The palette shows exactly when its menu item is ticked.
    static void ExpectShown(bool shown)
    {
        EXPECT_EQ(IsPaletteVisible(), shown);
        int ticks = 0;
        for (const auto& item : AddOnHost::MenuItems())
            if (item.menuResID == kQuillmereMenuResId && item.itemIndex == kPaletteMenuItemIndex)
                ticks += (item.flags & API_MenuItemChecked) ? 1 : 0;
        EXPECT_EQ(ticks, shown ? 1 : 0) << "the menu item's tick";
    }
};

TEST_F(EntryPointTest, LoadingRegistersOneMenuItemAndThePaletteAndAnswersOnlyThem)
{
    const auto report = Load();
    ASSERT_TRUE(report.loaded) << report.error;
    EXPECT_EQ(report.type, APIAddon_Preload);
    EXPECT_EQ(report.name, "Quillmere");
    GS::UniString description;
    ASSERT_TRUE(RSGetIndString(&description, 32000, 2, ACAPI_GetOwnResModule()));
    EXPECT_EQ(report.description, description.ToStdString());
    const auto items = AddOnHost::MenuItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(std::make_pair(items[0].menuResID, items[0].itemIndex), std::make_pair(32500, 1));
    ExpectShown(false);
    const auto windows = AddOnHost::ModelessWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].controlFlags, 0x3F7u);
    EXPECT_TRUE(GS::Guid(windows[0].guid) == ChatPalette::PaletteGuid());
    EXPECT_EQ(windows[0].referenceID, ChatPalette::PaletteReferenceId());
    EXPECT_EQ(AddOnHost::ChooseMenuItem(kQuillmereMenuResId, 2), APIERR_BADID);
    EXPECT_EQ(AddOnHost::SendPaletteMessage(ChatPalette::PaletteReferenceId() + 1, APIPalMsg_OpenPalette),
              APIERR_BADID);
    // The registered callback itself ignores a palette that is not ours.
    EXPECT_EQ(PaletteControlCallBack(ChatPalette::PaletteReferenceId() + 1, APIPalMsg_OpenPalette, 0), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr) << "preloading makes no palette: the first show does";
}

TEST_F(EntryPointTest, AFailedMenuRegistrationStopsTheLoadAFailedPaletteRegistrationIsOnlyLogged)
{
    AddOnHost::FailNext("RegisterMenu", APIERR_GENERAL);
    auto report = Load();
    EXPECT_FALSE(report.loaded);
    EXPECT_EQ(report.registerResult, APIERR_GENERAL);
    EXPECT_TRUE(AddOnHost::MenuItems().empty());

    AddOnHost::Reset();
    AddOnHost::FailNext("RegisterModelessWindow", APIERR_GENERAL);
    report = Load();
    ASSERT_TRUE(report.loaded) << report.error;
    EXPECT_TRUE(AddOnHost::ModelessWindows().empty());
    const std::string log = LogText();
    EXPECT_NE(log.find("[main] Palette registration failed: " + std::to_string(APIERR_GENERAL)), std::string::npos)
        << log;
    ASSERT_EQ(ChooseItem(), NoError);
    ExpectShown(true);  // the menu works without the palette registration
}

TEST_F(EntryPointTest, TheMenuAndTheHostsPaletteMessagesDriveOnePaletteUntilFreeDataDestroysIt)
{
    ASSERT_TRUE(Load().loaded);
    bool visible = true;
    EXPECT_EQ(Message(APIPalMsg_IsPaletteVisible, reinterpret_cast<intptr_t>(&visible)), NoError);
    EXPECT_FALSE(visible);
    // Without a palette the messages are harmless and create none.
    for (auto id : {APIPalMsg_HidePalette_Begin, APIPalMsg_HidePalette_End, APIPalMsg_DisableItems_Begin,
                    APIPalMsg_DisableItems_End, APIPalMsg_ClosePalette})
        EXPECT_EQ(Message(id), NoError) << id;
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
    ASSERT_EQ(Message(APIPalMsg_OpenPalette), NoError);
    ChatPalette* palette = ChatPalette::TryGetInstance();
    ASSERT_NE(palette, nullptr);

    const int kMenu = -1;  // the user chooses the menu item
    const struct {
        const char* name;
        std::vector<int> steps;  // palette messages, or kMenu
        bool shown, enabled;
    } rows[] = {
        {"opened", {}, true, true},
        {"the menu hides", {kMenu}, false, true},
        {"the menu shows", {kMenu}, true, true},
        {"items disabled: still shown", {APIPalMsg_DisableItems_Begin}, true, false},
        {"items enabled", {APIPalMsg_DisableItems_End}, true, true},
        {"hidden around a host mode", {APIPalMsg_HidePalette_Begin}, false, true},
        {"back after it", {APIPalMsg_HidePalette_End}, true, true},
        {"a hidden one stays hidden after a host mode",
         {kMenu, APIPalMsg_HidePalette_Begin, APIPalMsg_HidePalette_End},
         false,
         true},
        {"closing hides", {kMenu, APIPalMsg_ClosePalette}, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const int step : row.steps)
            EXPECT_EQ(step == kMenu ? ChooseItem() : Message(static_cast<API_PaletteMessageID>(step)), NoError);
        ExpectShown(row.shown);
        EXPECT_EQ(palette->IsEnabled(), row.enabled);
        EXPECT_EQ(AddOnHost::QueryPaletteVisible(ChatPalette::PaletteReferenceId()), row.shown);
        EXPECT_EQ(ChatPalette::TryGetInstance(), palette) << "hiding must keep the palette and its conversation";
    }

    // Quitting tells the add-on at once, while a tool may hold the main thread: every request
    // gives up until the add-on is freed.
    const auto request = [url = ClosedLoopbackUrl()] { return Quillmere::HttpGet(url, {}).error; };
    AddOnHost::NotifyQuit();
    EXPECT_EQ(request(), "The request was cancelled.");
    const std::string page = palette->GetPagePath();
    ASSERT_EQ(AddOnHost::Unload(), NoError);
    EXPECT_NE(request(), "The request was cancelled.");
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
    EXPECT_TRUE(PaletteHost::Palettes().empty());
    EXPECT_TRUE(PaletteHost::Browsers().empty());
    EXPECT_FALSE(fs::exists(page));
}

TEST_F(EntryPointTest, UnderAFileSizeLimitTheLoadedHostLivesOnAndTheConversationSaveFails)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::signal(SIGXFSZ, SIG_DFL);
            if (!Load().loaded) std::_Exit(2);
            struct rlimit limit {};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 1024;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ConversationLog log;
            log.StartNew();
            std::string error;
            const bool saved = log.Save({{Role::User, {ContentBlock::Text(std::string(4096, 'x'))}}},
                                        nlohmann::json::array(), std::string::npos, error);
            std::_Exit(saved || error.find("File too large") == std::string::npos ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}
