#pragma once

#include "ACAPinc.h"
#include "APIdefs_AddOn.h"

// The add-on's one menu: resource 32500, item 1 shows or hides the palette.
constexpr Int32 kQuillmereMenuResId = 32500;
constexpr Int32 kPaletteMenuItemIndex = 1;

// Shows the palette when it is hidden (making it on first use) and hides it when shown;
// the menu item is ticked while the palette is visible.
void TogglePalette();
bool IsPaletteVisible();
// Ticks or unticks the menu item to match the palette.
void UpdatePaletteMenuItem();

// The host's palette-control callback.
GSErrCode PaletteControlCallBack(Int32 referenceID, API_PaletteMessageID messageID, intptr_t param);

// Forgets what the callback remembered (a palette hidden by the host); the add-on is
// being freed.
void ResetPaletteControl();
