#include <gtest/gtest.h>

#include "PaletteHost.hpp"
#include "ShellTestEnvironment.hpp"

namespace {

AddOnHost::EntryPoints AddOnEntryPoints()
{
    AddOnHost::EntryPoints entryPoints;
    entryPoints.checkEnvironment = &CheckEnvironment;
    entryPoints.registerInterface = &RegisterInterface;
    entryPoints.initialize = &Initialize;
    entryPoints.freeData = &FreeData;
    return entryPoints;
}

bool MenuItemTicked()
{
    for (const auto& item : AddOnHost::MenuItems())
        if (item.menuResID == kQuillmereMenuResId && item.itemIndex == kPaletteMenuItemIndex)
            return (item.flags & API_MenuItemChecked) != 0;
    ADD_FAILURE() << "the palette's menu item is missing";
    return false;
}

}  // namespace

class EntryPointTest : public ShellTest {
protected:
    AddOnHost::LoadReport Load() { return AddOnHost::Load(AddOnEntryPoints(), ResourceDir()); }
    GSErrCode ChooseItem() { return AddOnHost::ChooseMenuItem(kQuillmereMenuResId, kPaletteMenuItemIndex); }
    GSErrCode Message(API_PaletteMessageID id, intptr_t param = 0)
    {
        return AddOnHost::SendPaletteMessage(ChatPalette::PaletteReferenceId(), id, param);
    }
};

TEST_F(EntryPointTest, LoadingReportsTheResourcesAndRegistersOneMenuItemAndThePalette)
{
    const auto report = Load();
    ASSERT_TRUE(report.loaded) << report.error;
    EXPECT_EQ(report.type, APIAddon_Preload);
    EXPECT_EQ(report.name, "Quillmere");
    EXPECT_FALSE(report.description.empty());
    GS::UniString description;
    ASSERT_TRUE(RSGetIndString(&description, 32000, 2, ACAPI_GetOwnResModule()));
    EXPECT_EQ(report.description, description.ToStdString());

    const auto items = AddOnHost::MenuItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].menuResID, 32500);
    EXPECT_EQ(items[0].itemIndex, 1);
    EXPECT_FALSE(items[0].flags & API_MenuItemChecked);

    const auto windows = AddOnHost::ModelessWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].controlFlags, 0x3F7u);
    EXPECT_TRUE(GS::Guid(windows[0].guid) == ChatPalette::PaletteGuid());
    EXPECT_EQ(windows[0].referenceID, ChatPalette::PaletteReferenceId());

    // Preloading makes no palette: the first show does.
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
}

TEST_F(EntryPointTest, AFailedPaletteRegistrationIsLoggedAndTheMenuStillWorks)
{
    AddOnHost::FailNext("RegisterModelessWindow", APIERR_GENERAL);
    const auto report = Load();
    ASSERT_TRUE(report.loaded) << report.error;
    EXPECT_TRUE(AddOnHost::ModelessWindows().empty());
    EXPECT_NE(DebugLogText().find("[main] Palette registration failed: " + std::to_string(APIERR_GENERAL)),
              std::string::npos)
        << DebugLogText();
    ASSERT_EQ(ChooseItem(), NoError);
    EXPECT_TRUE(IsPaletteVisible());
}

TEST_F(EntryPointTest, AFailedMenuRegistrationStopsTheLoad)
{
    AddOnHost::FailNext("RegisterMenu", APIERR_GENERAL);
    const auto report = Load();
    EXPECT_FALSE(report.loaded);
    EXPECT_EQ(report.registerResult, APIERR_GENERAL);
    EXPECT_TRUE(AddOnHost::MenuItems().empty());
}

TEST_F(EntryPointTest, TheMenuItemTogglesOnePaletteAndIsTickedWhileItShows)
{
    ASSERT_TRUE(Load().loaded);
    ASSERT_EQ(ChooseItem(), NoError);
    ChatPalette* palette = ChatPalette::TryGetInstance();
    ASSERT_NE(palette, nullptr);
    EXPECT_TRUE(palette->IsVisible());
    EXPECT_TRUE(MenuItemTicked());

    ASSERT_EQ(ChooseItem(), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), palette) << "hiding must keep the palette and its conversation";
    EXPECT_FALSE(palette->IsVisible());
    EXPECT_FALSE(MenuItemTicked());

    ASSERT_EQ(ChooseItem(), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), palette);
    EXPECT_TRUE(palette->IsVisible());
    EXPECT_EQ(PaletteHost::Palettes().size(), 1u);
}

TEST_F(EntryPointTest, FreeDataDestroysThePaletteAndItsBrowser)
{
    ASSERT_TRUE(Load().loaded);
    ASSERT_EQ(ChooseItem(), NoError);
    const std::string page = ChatPalette::TryGetInstance()->GetPagePath();
    ASSERT_EQ(AddOnHost::Unload(), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
    EXPECT_TRUE(PaletteHost::Palettes().empty());
    EXPECT_TRUE(PaletteHost::Browsers().empty());
    EXPECT_FALSE(std::filesystem::exists(page));
}

TEST_F(EntryPointTest, CloseHidesThePaletteAndUnticksTheItem)
{
    ASSERT_TRUE(Load().loaded);
    ASSERT_EQ(ChooseItem(), NoError);
    ASSERT_EQ(Message(APIPalMsg_ClosePalette), NoError);
    EXPECT_FALSE(IsPaletteVisible());
    EXPECT_FALSE(MenuItemTicked());
    EXPECT_FALSE(AddOnHost::QueryPaletteVisible(ChatPalette::PaletteReferenceId()));
    // Closing is not destroying.
    EXPECT_NE(ChatPalette::TryGetInstance(), nullptr);
}

TEST_F(EntryPointTest, HiddenAroundAHostModeComesBackOnlyIfItWasShown)
{
    ASSERT_TRUE(Load().loaded);
    ASSERT_EQ(ChooseItem(), NoError);
    ASSERT_EQ(Message(APIPalMsg_HidePalette_Begin), NoError);
    EXPECT_FALSE(IsPaletteVisible());
    ASSERT_EQ(Message(APIPalMsg_HidePalette_End), NoError);
    EXPECT_TRUE(IsPaletteVisible());
    EXPECT_TRUE(MenuItemTicked());

    ASSERT_EQ(ChooseItem(), NoError);  // the user hides it
    ASSERT_EQ(Message(APIPalMsg_HidePalette_Begin), NoError);
    ASSERT_EQ(Message(APIPalMsg_HidePalette_End), NoError);
    EXPECT_FALSE(IsPaletteVisible());

    // Without a palette the messages are harmless and create none.
    ASSERT_EQ(AddOnHost::Unload(), NoError);
    ASSERT_TRUE(Load().loaded);
    ASSERT_EQ(Message(APIPalMsg_HidePalette_Begin), NoError);
    ASSERT_EQ(Message(APIPalMsg_HidePalette_End), NoError);
    ASSERT_EQ(Message(APIPalMsg_DisableItems_Begin), NoError);
    ASSERT_EQ(Message(APIPalMsg_ClosePalette), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
}

TEST_F(EntryPointTest, DisableAndEnableFollowTheHost)
{
    ASSERT_TRUE(Load().loaded);
    ASSERT_EQ(ChooseItem(), NoError);
    ChatPalette* palette = ChatPalette::TryGetInstance();
    ASSERT_EQ(Message(APIPalMsg_DisableItems_Begin), NoError);
    EXPECT_FALSE(palette->IsEnabled());
    EXPECT_TRUE(palette->IsVisible());
    ASSERT_EQ(Message(APIPalMsg_DisableItems_End), NoError);
    EXPECT_TRUE(palette->IsEnabled());
}

TEST_F(EntryPointTest, VisibilityQueriesAnswerThroughTheirPointer)
{
    ASSERT_TRUE(Load().loaded);
    bool visible = true;
    ASSERT_EQ(Message(APIPalMsg_IsPaletteVisible, reinterpret_cast<intptr_t>(&visible)), NoError);
    EXPECT_FALSE(visible);
    ASSERT_EQ(Message(APIPalMsg_OpenPalette), NoError);
    ASSERT_EQ(Message(APIPalMsg_IsPaletteVisible, reinterpret_cast<intptr_t>(&visible)), NoError);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(MenuItemTicked());
    EXPECT_EQ(Message(APIPalMsg_IsPaletteVisible, 0), APIERR_BADPARS);
}

TEST_F(EntryPointTest, OtherMenuItemsAndMenusLeaveThePaletteAlone)
{
    ASSERT_TRUE(Load().loaded);
    EXPECT_EQ(AddOnHost::ChooseMenuItem(kQuillmereMenuResId, 2), APIERR_BADID);
    EXPECT_EQ(AddOnHost::ChooseMenuItem(32501, 1), APIERR_BADID);
    EXPECT_EQ(AddOnHost::SendPaletteMessage(ChatPalette::PaletteReferenceId() + 1, APIPalMsg_OpenPalette), APIERR_BADID);
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
    // The registered callback ignores a palette that is not ours.
    EXPECT_EQ(PaletteControlCallBack(ChatPalette::PaletteReferenceId() + 1, APIPalMsg_OpenPalette, 0), NoError);
    EXPECT_EQ(ChatPalette::TryGetInstance(), nullptr);
}
