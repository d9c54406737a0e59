// The add-on's entry points: what the host calls when it loads, registers, initialises and
// frees the add-on, and the menu command.

#include <chrono>

#include "ACAPinc.h"
#include "APIdefs_AddOn.h"

#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "main/PaletteControl.hpp"
#include "palette/ChatPalette.hpp"
#include "tools/recognition/RenderJobs.hpp"

namespace {

constexpr Int32 kAddOnStringsResId = 32000;
// Everywhere the palette makes sense: plan, section, elevation, interior elevation, 3D,
// detail, layout, worksheet and documents from 3D.
constexpr GSFlags kPaletteControlFlags = 0x3F7;

void MainLog(const std::string& message) { DebugLog("[main] " + message); }

// The host is quitting, maybe while a tool's service request holds its main thread: every
// request in flight gives up now instead of at its deadline, so FreeData comes soon. Only an
// atomic store: the notice may come on any thread.
GSErrCode QuitHandler(API_NotifyEventID notifID, Int32)
{
    if (notifID == APINotify_Quit) Quillmere::AbortAllHttpRequests(true);
    return NoError;
}

GSErrCode MenuCommandHandler(const API_MenuParams* menuParams)
{
    if (menuParams == nullptr) return APIERR_BADPARS;
    if (menuParams->menuItemRef.menuResID == kQuillmereMenuResId &&
        menuParams->menuItemRef.itemIndex == kPaletteMenuItemIndex) {
        TogglePalette();
    }
    return NoError;
}

}  // namespace

API_AddonType CheckEnvironment(API_EnvirParams* envir)
{
    if (envir == nullptr) return APIAddon_DontRegister;
    RSGetIndString(&envir->addOnInfo.name, kAddOnStringsResId, 1, ACAPI_GetOwnResModule());
    RSGetIndString(&envir->addOnInfo.description, kAddOnStringsResId, 2, ACAPI_GetOwnResModule());
    return APIAddon_Preload;
}

GSErrCode RegisterInterface()
{
    GSErrCode err = ACAPI_MenuItem_RegisterMenu(kQuillmereMenuResId, 0, MenuCode_UserDef, MenuFlag_Default);
    if (err != NoError) {
        MainLog("Menu registration failed: " + std::to_string(err));
        return err;
    }
    // Without the palette registration the host cannot tell the palette about its modes;
    // the palette still works from the menu, so this failure is only logged.
    GSErrCode paletteErr = ACAPI_RegisterModelessWindow(ChatPalette::PaletteReferenceId(), PaletteControlCallBack,
                                                        kPaletteControlFlags, ChatPalette::PaletteGuid().ToAPIGuid());
    if (paletteErr != NoError) MainLog("Palette registration failed: " + std::to_string(paletteErr));
    return NoError;
}

GSErrCode Initialize()
{
    GSErrCode err = ACAPI_MenuItem_InstallMenuHandler(kQuillmereMenuResId, MenuCommandHandler);
    if (err != NoError) {
        MainLog("Menu handler installation failed: " + std::to_string(err));
        return err;
    }
    // Without the notice, quitting during a service request waits for its deadline.
    const GSErrCode quitErr = ACAPI_ProjectOperation_CatchProjectEvent(APINotify_Quit, QuitHandler);
    if (quitErr != NoError) MainLog("Quit notice registration failed: " + std::to_string(quitErr));
    MainLog("Initialised");
    return NoError;
}

GSErrCode FreeData()
{
    // Every request in flight, on any thread, gives up now instead of at its deadline.
    Quillmere::AbortAllHttpRequests(true);
    // Ends the palette's events, stops and joins the engine's worker, drops the registry.
    ChatPalette::DestroyInstance();
    // Render polls still running stop and are waited for: none may outlive the add-on. A
    // request in flight is cancelled within about a second.
    if (!RenderJobs::StopAll(std::chrono::seconds(30))) MainLog("Render polls still running at unload");
    ResetPaletteControl();
    Quillmere::AbortAllHttpRequests(false);  // nothing of ours is left running
    MainLog("Freed");
    return NoError;
}
