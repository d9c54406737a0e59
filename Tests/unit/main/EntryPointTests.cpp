#include "ShellTest.hpp"

class EntryPointTest : public ShellTest {
protected:
    AddOnHost::LoadReport Load()
    {
        return AddOnHost::Load({&CheckEnvironment, &RegisterInterface, &Initialize, &FreeData},
                               (fs::path(__FILE__).parent_path() / "../../../Src/resources").lexically_normal());
    }
    GSErrCode ChooseItem() { return AddOnHost::ChooseMenuItem(kQuillmereMenuResId, kPaletteMenuItemIndex); }
    GSErrCode Message(API_PaletteMessageID id, intptr_t param = 0)
    {
        return AddOnHost::SendPaletteMessage(ChatPalette::PaletteReferenceId(), id, param);
    }
    void Send(std::initializer_list<API_PaletteMessageID> ids)
    {
        for (auto id : ids) EXPECT_EQ(Message(id), NoError) << id;
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
    Send({APIPalMsg_HidePalette_Begin, APIPalMsg_HidePalette_End, APIPalMsg_DisableItems_Begin,
          APIPalMsg_DisableItems_End, APIPalMsg_ClosePalette});
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);

    Send({APIPalMsg_OpenPalette});
    ExpectShown(true);
    ChatPalette* palette = ChatPalette::TryGetInstance();
    ASSERT_NE(palette, nullptr);
    for (const bool shown : {false, true}) {
        ASSERT_EQ(ChooseItem(), NoError);
        EXPECT_EQ(ChatPalette::TryGetInstance(), palette) << "hiding must keep the palette and its conversation";
        ExpectShown(shown);
    }
    Send({APIPalMsg_DisableItems_Begin});
    EXPECT_FALSE(palette->IsEnabled());
    EXPECT_TRUE(palette->IsVisible());
    Send({APIPalMsg_DisableItems_End});
    EXPECT_TRUE(palette->IsEnabled());
    // Hidden around a host mode, it comes back only if it was shown.
    Send({APIPalMsg_HidePalette_Begin});
    ExpectShown(false);
    Send({APIPalMsg_HidePalette_End});
    ExpectShown(true);
    ASSERT_EQ(ChooseItem(), NoError);  // the user hides it
    Send({APIPalMsg_HidePalette_Begin, APIPalMsg_HidePalette_End});
    ExpectShown(false);
    // Closing hides; it does not destroy.
    ASSERT_EQ(ChooseItem(), NoError);
    Send({APIPalMsg_ClosePalette});
    ExpectShown(false);
    EXPECT_FALSE(AddOnHost::QueryPaletteVisible(ChatPalette::PaletteReferenceId()));
    EXPECT_EQ(ChatPalette::TryGetInstance(), palette);

    const std::string page = palette->GetPagePath();
    ASSERT_EQ(AddOnHost::Unload(), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
    EXPECT_TRUE(PaletteHost::Palettes().empty());
    EXPECT_TRUE(PaletteHost::Browsers().empty());
    EXPECT_FALSE(fs::exists(page));
}
