#include "main/PaletteControl.hpp"

#include "core/DebugLog.hpp"
#include "palette/ChatPalette.hpp"

namespace {

// True while the host has hidden a visible palette around one of its own modes; the
// palette comes back when the mode ends.
bool hiddenByHost = false;

void ShowPalette()
{
    ChatPalette::GetInstance().Show();
    UpdatePaletteMenuItem();
}

void HidePalette()
{
    if (ChatPalette* palette = ChatPalette::TryGetInstance()) palette->Hide();
    UpdatePaletteMenuItem();
}

}  // namespace

bool IsPaletteVisible()
{
    ChatPalette* palette = ChatPalette::TryGetInstance();
    return palette != nullptr && palette->IsVisible();
}

void UpdatePaletteMenuItem()
{
    API_MenuItemRef item;
    item.menuResID = kQuillmereMenuResId;
    item.itemIndex = kPaletteMenuItemIndex;
    GSFlags flags = 0;
    if (ACAPI_MenuItem_GetMenuItemFlags(&item, &flags) != NoError) return;
    if (IsPaletteVisible())
        flags |= API_MenuItemChecked;
    else
        flags &= ~API_MenuItemChecked;
    ACAPI_MenuItem_SetMenuItemFlags(&item, &flags);
}

void TogglePalette()
{
    hiddenByHost = false;
    if (IsPaletteVisible())
        HidePalette();
    else
        ShowPalette();
}

GSErrCode PaletteControlCallBack(Int32 referenceID, API_PaletteMessageID messageID, intptr_t param)
{
    if (referenceID != ChatPalette::PaletteReferenceId()) return NoError;
    ChatPalette* palette = ChatPalette::TryGetInstance();
    switch (messageID) {
    case APIPalMsg_OpenPalette:
        hiddenByHost = false;
        ShowPalette();
        break;
    case APIPalMsg_ClosePalette:
        hiddenByHost = false;
        HidePalette();
        break;
    case APIPalMsg_HidePalette_Begin:
        if (palette != nullptr && palette->IsVisible()) {
            hiddenByHost = true;
            HidePalette();
        }
        break;
    case APIPalMsg_HidePalette_End:
        if (hiddenByHost) {
            hiddenByHost = false;
            ShowPalette();
        }
        break;
    case APIPalMsg_DisableItems_Begin:
        if (palette != nullptr) palette->Disable();
        break;
    case APIPalMsg_DisableItems_End:
        if (palette != nullptr) palette->Enable();
        break;
    case APIPalMsg_IsPaletteVisible:
        if (param == 0) return APIERR_BADPARS;
        *reinterpret_cast<bool*>(param) = IsPaletteVisible();
        break;
    default: break;
    }
    return NoError;
}

void ResetPaletteControl() { hiddenByHost = false; }
