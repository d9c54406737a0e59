#pragma once

// The host application's side of add-on loading, menus and palette registration: what the
// shell drives and what tests inspect. The add-on never includes this header.

#include <string>
#include <vector>

#include "APIdefs_AddOn.h"

namespace AddOnHost {

// The add-on's entry points, as the host would find them in the loaded bundle.
struct EntryPoints {
    API_AddonType (*checkEnvironment)(API_EnvirParams*) = nullptr;
    GSErrCode (*registerInterface)() = nullptr;
    GSErrCode (*initialize)() = nullptr;
    GSErrCode (*freeData)() = nullptr;
    const char* (*resourceData)() = nullptr;  // the bundle's resources
};

struct LoadReport {
    bool loaded = false;
    API_AddonType type = APIAddon_Unknown;
    std::string name;  // from the environment check
    std::string description;
    GSErrCode registerResult = NoError;
    GSErrCode initializeResult = NoError;
    std::string error;  // why the add-on was not loaded
};

// Reads the add-on's resources from its bundle, then calls the environment check, the interface
// registration and the initialisation. Main thread.
LoadReport Load(const EntryPoints& entryPoints);
bool IsLoaded();
// Calls FreeData and forgets the add-on's menus, handlers and palettes. Main thread.
GSErrCode Unload();
// The host begins to quit: tells the add-on at once if it caught APINotify_Quit. Any thread
// (the main thread may be busy with a command); Unload follows on the main thread.
void NotifyQuit();

struct MenuItemInfo {
    Int32 menuResID = 0;
    Int32 itemIndex = 0;
    std::string menuTitle;
    std::string itemText;
    GSFlags flags = 0;
};
std::vector<MenuItemInfo> MenuItems();
// What the host does when the user chooses the item: calls the installed handler.
GSErrCode ChooseMenuItem(Int32 menuResID, Int32 itemIndex);

struct ModelessWindowInfo {
    Int32 referenceID = 0;
    API_Guid guid = APINULLGuid;
    GSFlags controlFlags = 0;
};
std::vector<ModelessWindowInfo> ModelessWindows();
// Sends a palette-control message through the registered callback; APIERR_BADID when no
// palette is registered under that reference.
GSErrCode SendPaletteMessage(Int32 referenceID, API_PaletteMessageID messageID, intptr_t param = 0);
// Asks the palette through its callback; false when unregistered.
bool QueryPaletteVisible(Int32 referenceID);

// Test hooks: the next call of the named registration refuses with code
// ("RegisterModelessWindow", "RegisterMenu", "InstallMenuHandler").
void FailNext(const std::string& functionName, GSErrCode code);
// Forgets everything without calling the add-on.
void Reset();

}  // namespace AddOnHost
