#pragma once

// The add-on's life in the host: the entry points every add-on implements, its resource
// strings, its menus and its modeless palettes.

#include <cstdint>

#include "APIdefs_Errors.h"
#include "GSRoot.hpp"

typedef UInt32 GSFlags;

// ---------------------------------------------------------------------------------------------
// Resources. An add-on's resource module is handed to it by the host; string lists are
// numbered from 1.

typedef Int32 GSResModule;
constexpr GSResModule InvalidResModule = 0;

GSResModule ACAPI_GetOwnResModule();
// False (and str untouched) when the module has no such list or the list no such item.
bool RSGetIndString(GS::UniString* str, Int32 resID, Int32 index, GSResModule resModule);

// ---------------------------------------------------------------------------------------------
// Environment check

enum API_AddonType {
    APIAddon_Unknown = 0,
    APIAddon_DontRegister = 1,  // the add-on declines to load
    APIAddon_Normal = 2,        // loaded when first needed
    APIAddon_Preload = 3        // loaded at start-up and kept
};

struct API_AddOnInfo {
    GS::UniString name;
    GS::UniString description;
};

struct API_EnvirParams {
    API_AddOnInfo addOnInfo;
    Int32 serverMainVersion = 0;
};

// ---------------------------------------------------------------------------------------------
// Menus. A menu resource holds a title and its items; items are numbered from 1.

enum APIMenuCodeID {
    MenuCode_UserDef = 0,  // a menu of the add-on's own
    MenuCode_Palettes = 1  // items under the host's Window > Palettes
};
constexpr Int32 MenuFlag_Default = 0;

struct API_MenuItemRef {
    Int32 menuResID = 0;
    Int32 itemIndex = 0;
};

struct API_MenuParams {
    API_MenuItemRef menuItemRef;
};

constexpr GSFlags API_MenuItemDisabled = 0x0001;
constexpr GSFlags API_MenuItemChecked = 0x0004;

typedef GSErrCode APIMenuCommandProc(const API_MenuParams* menuParams);

// Interface registration only: makes the menu resource's items appear in the host.
GSErrCode ACAPI_MenuItem_RegisterMenu(Int32 menuResID, Int32 promptResID, APIMenuCodeID menuCode, Int32 menuFlags);
// Initialisation only: the function the host calls when an item of that menu is chosen.
GSErrCode ACAPI_MenuItem_InstallMenuHandler(Int32 menuResID, APIMenuCommandProc* handler);
GSErrCode ACAPI_MenuItem_GetMenuItemFlags(const API_MenuItemRef* itemRef, GSFlags* itemFlags);
GSErrCode ACAPI_MenuItem_SetMenuItemFlags(const API_MenuItemRef* itemRef, GSFlags* itemFlags);

// ---------------------------------------------------------------------------------------------
// Modeless palettes. The host tells a registered palette when to close, hide and show around
// its own mode changes, when to disable and re-enable its controls, and asks whether it is
// visible (param points to a bool to fill).

enum API_PaletteMessageID {
    APIPalMsg_ClosePalette = 1,
    APIPalMsg_HidePalette_Begin = 2,
    APIPalMsg_HidePalette_End = 3,
    APIPalMsg_DisableItems_Begin = 4,
    APIPalMsg_DisableItems_End = 5,
    APIPalMsg_OpenPalette = 6,
    APIPalMsg_IsPaletteVisible = 7
};

typedef GSErrCode APIPaletteControlCallBackProc(Int32 referenceID, API_PaletteMessageID messageID, intptr_t param);

// Where the palette is available (any combination).
constexpr GSFlags API_PalEnabled_FloorPlan = 0x0001;
constexpr GSFlags API_PalEnabled_Section = 0x0002;
constexpr GSFlags API_PalEnabled_Elevation = 0x0004;
constexpr GSFlags API_PalEnabled_InteriorElevation = 0x0010;
constexpr GSFlags API_PalEnabled_3D = 0x0020;
constexpr GSFlags API_PalEnabled_Detail = 0x0040;
constexpr GSFlags API_PalEnabled_Layout = 0x0080;
constexpr GSFlags API_PalEnabled_Worksheet = 0x0100;
constexpr GSFlags API_PalEnabled_DocumentFrom3D = 0x0200;

GSErrCode ACAPI_RegisterModelessWindow(Int32 referenceID, APIPaletteControlCallBackProc* callback, GSFlags controlFlags,
                                       const API_Guid& guid);
GSErrCode ACAPI_UnregisterModelessWindow(Int32 referenceID);

// ---------------------------------------------------------------------------------------------
// Project events. An add-on may ask to be told when the host begins to quit. The notice comes
// as soon as quitting starts, possibly on another thread while the main thread is still busy
// with a command (a long service request, say), so the handler does only thread-safe work;
// FreeData follows on the main thread once that command has ended.

enum API_NotifyEventID { APINotify_Quit = 0x0100 };

typedef GSErrCode APIProjectEventHandlerProc(API_NotifyEventID notifID, Int32 param);

// handler is called for the events in eventTypes from now on; nullptr stops the notices.
GSErrCode ACAPI_ProjectOperation_CatchProjectEvent(GSFlags eventTypes, APIProjectEventHandlerProc* handler);

// ---------------------------------------------------------------------------------------------
// Entry points the add-on implements; the host calls them in this order (FreeData last,
// when it unloads the add-on). All run on the main thread.

API_AddonType CheckEnvironment(API_EnvirParams* envir);
GSErrCode RegisterInterface();
GSErrCode Initialize();
GSErrCode FreeData();

// The bundle's resource data: its string lists and menus as JSON text, compiled into the
// bundle by the build. The host reads it when it loads the add-on, before the entry points.
const char* AddOnResourceData();
