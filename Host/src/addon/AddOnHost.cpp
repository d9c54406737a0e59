#include "AddOnHost.hpp"

#include <atomic>
#include <csignal>
#include <map>
#include <mutex>

#include <nlohmann/json.hpp>

namespace {

constexpr GSResModule kAddOnResModule = 1;

enum class Phase { None, CheckEnvironment, RegisterInterface, Initialize, Running };

struct MenuState {
    std::string title;
    std::vector<std::string> items;
    std::vector<GSFlags> flags;
    bool registered = false;
    APIMenuCommandProc* handler = nullptr;
};

struct PaletteRegistration {
    APIPaletteControlCallBackProc* callback = nullptr;
    GSFlags controlFlags = 0;
    API_Guid guid = APINULLGuid;
};

struct HostState {
    std::recursive_mutex mutex;
    Phase phase = Phase::None;
    bool loaded = false;
    AddOnHost::EntryPoints entryPoints;
    std::map<Int32, std::vector<std::string>> strings;
    std::map<Int32, MenuState> menus;
    std::map<Int32, PaletteRegistration> palettes;
    std::map<std::string, GSErrCode> failNext;
    // Read without the lock: the quit notice must not wait for a busy main thread.
    std::atomic<APIProjectEventHandlerProc*> quitHandler{nullptr};
};

HostState& State()
{
    static HostState state;
    return state;
}

bool TakeFailure(const std::string& name, GSErrCode& code)
{
    auto& failNext = State().failNext;
    auto it = failNext.find(name);
    if (it == failNext.end()) return false;
    code = it->second;
    failNext.erase(it);
    return true;
}

// The add-on's resources, the stand-in for the resource fork of its bundle.
bool ReadResources(const char* (*resourceData)(), std::string& error)
{
    const char* data = resourceData ? resourceData() : nullptr;
    if (data == nullptr) {
        error = "The add-on's bundle has no resources";
        return false;
    }
    nlohmann::json resources = nlohmann::json::parse(data, nullptr, false);
    if (!resources.is_object()) {
        error = "The add-on's resources are unreadable";
        return false;
    }
    auto& state = State();
    try {
        const nlohmann::json strings = resources.value("strings", nlohmann::json::object());
        const nlohmann::json menus = resources.value("menus", nlohmann::json::object());
        for (const auto& [id, list] : strings.items())
            state.strings[std::stoi(id)] = list.get<std::vector<std::string>>();
        for (const auto& [id, menu] : menus.items()) {
            MenuState m;
            m.title = menu.at("title").get<std::string>();
            m.items = menu.at("items").get<std::vector<std::string>>();
            m.flags.assign(m.items.size(), 0);
            state.menus[std::stoi(id)] = m;
        }
    } catch (const std::exception& e) {
        error = std::string("The add-on's resources are unreadable: ") + e.what();
        return false;
    }
    return true;
}

MenuState* FindItem(const API_MenuItemRef* ref)
{
    if (ref == nullptr) return nullptr;
    auto it = State().menus.find(ref->menuResID);
    if (it == State().menus.end() || !it->second.registered) return nullptr;
    if (ref->itemIndex < 1 || ref->itemIndex > static_cast<Int32>(it->second.items.size())) return nullptr;
    return &it->second;
}

}  // namespace

// ---- what the add-on calls ---------------------------------------------------------------

GSResModule ACAPI_GetOwnResModule()
{
    return State().loaded || State().phase != Phase::None ? kAddOnResModule : InvalidResModule;
}

bool RSGetIndString(GS::UniString* str, Int32 resID, Int32 index, GSResModule resModule)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    if (str == nullptr || resModule != kAddOnResModule) return false;
    auto it = state.strings.find(resID);
    if (it == state.strings.end() || index < 1 || index > static_cast<Int32>(it->second.size())) return false;
    *str = GS::UniString(it->second[index - 1]);
    return true;
}

GSErrCode ACAPI_MenuItem_RegisterMenu(Int32 menuResID, Int32, APIMenuCodeID, Int32)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    GSErrCode failure;
    if (TakeFailure("RegisterMenu", failure)) return failure;
    if (state.phase != Phase::RegisterInterface) return APIERR_GENERAL;
    auto it = state.menus.find(menuResID);
    if (it == state.menus.end() || it->second.items.empty()) return APIERR_BADID;
    it->second.registered = true;
    return NoError;
}

GSErrCode ACAPI_MenuItem_InstallMenuHandler(Int32 menuResID, APIMenuCommandProc* handler)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    GSErrCode failure;
    if (TakeFailure("InstallMenuHandler", failure)) return failure;
    if (handler == nullptr) return APIERR_BADPARS;
    auto it = state.menus.find(menuResID);
    if (it == state.menus.end() || !it->second.registered) return APIERR_BADID;
    it->second.handler = handler;
    return NoError;
}

GSErrCode ACAPI_MenuItem_GetMenuItemFlags(const API_MenuItemRef* itemRef, GSFlags* itemFlags)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    MenuState* menu = FindItem(itemRef);
    if (menu == nullptr || itemFlags == nullptr) return APIERR_BADPARS;
    *itemFlags = menu->flags[itemRef->itemIndex - 1];
    return NoError;
}

GSErrCode ACAPI_MenuItem_SetMenuItemFlags(const API_MenuItemRef* itemRef, GSFlags* itemFlags)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    MenuState* menu = FindItem(itemRef);
    if (menu == nullptr || itemFlags == nullptr) return APIERR_BADPARS;
    menu->flags[itemRef->itemIndex - 1] = *itemFlags;
    return NoError;
}

GSErrCode ACAPI_RegisterModelessWindow(Int32 referenceID, APIPaletteControlCallBackProc* callback, GSFlags controlFlags,
                                       const API_Guid& guid)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    GSErrCode failure;
    if (TakeFailure("RegisterModelessWindow", failure)) return failure;
    if (callback == nullptr || guid == APINULLGuid) return APIERR_BADPARS;
    if (state.palettes.count(referenceID) != 0) return APIERR_GENERAL;
    state.palettes[referenceID] = PaletteRegistration{callback, controlFlags, guid};
    return NoError;
}

GSErrCode ACAPI_UnregisterModelessWindow(Int32 referenceID)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    return state.palettes.erase(referenceID) != 0 ? NoError : APIERR_BADID;
}

// ---- what the host application does -----------------------------------------------------

AddOnHost::LoadReport AddOnHost::Load(const EntryPoints& entryPoints)
{
    LoadReport report;
    auto& state = State();
    if (state.loaded) {
        report.error = "An add-on is already loaded";
        return report;
    }
    if (!entryPoints.checkEnvironment || !entryPoints.registerInterface || !entryPoints.initialize ||
        !entryPoints.freeData) {
        report.error = "The add-on lacks an entry point";
        return report;
    }
    if (!ReadResources(entryPoints.resourceData, report.error)) return report;

    // As the host application does: an add-on's write past the file-size limit fails (EFBIG)
    // rather than ending the host, so that the add-on can cut back and say so.
    std::signal(SIGXFSZ, SIG_IGN);
    state.entryPoints = entryPoints;
    state.phase = Phase::CheckEnvironment;
    API_EnvirParams envir;
    report.type = entryPoints.checkEnvironment(&envir);
    report.name = envir.addOnInfo.name.ToStdString();
    report.description = envir.addOnInfo.description.ToStdString();
    if (report.type == APIAddon_DontRegister || report.type == APIAddon_Unknown) {
        state.phase = Phase::None;
        report.error = "The add-on declined to load";
        return report;
    }
    state.phase = Phase::RegisterInterface;
    report.registerResult = entryPoints.registerInterface();
    state.phase = Phase::Initialize;
    report.initializeResult = entryPoints.initialize();
    state.phase = Phase::Running;
    if (report.registerResult != NoError || report.initializeResult != NoError) {
        // The host unloads an add-on whose registration or initialisation failed.
        entryPoints.freeData();
        Reset();
        report.error = "The add-on failed to initialise";
        return report;
    }
    state.loaded = true;
    report.loaded = true;
    return report;
}

bool AddOnHost::IsLoaded() { return State().loaded; }

GSErrCode AddOnHost::Unload()
{
    auto& state = State();
    if (!state.loaded) return APIERR_GENERAL;
    GSErrCode result = state.entryPoints.freeData();
    Reset();
    return result;
}

std::vector<AddOnHost::MenuItemInfo> AddOnHost::MenuItems()
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    std::vector<MenuItemInfo> result;
    for (const auto& [id, menu] : state.menus) {
        if (!menu.registered) continue;
        for (std::size_t i = 0; i < menu.items.size(); ++i)
            result.push_back(MenuItemInfo{id, static_cast<Int32>(i + 1), menu.title, menu.items[i], menu.flags[i]});
    }
    return result;
}

GSErrCode AddOnHost::ChooseMenuItem(Int32 menuResID, Int32 itemIndex)
{
    APIMenuCommandProc* handler = nullptr;
    {
        auto& state = State();
        std::lock_guard<std::recursive_mutex> lock(state.mutex);
        API_MenuItemRef ref{menuResID, itemIndex};
        MenuState* menu = FindItem(&ref);
        if (menu == nullptr) return APIERR_BADID;
        if (menu->flags[itemIndex - 1] & API_MenuItemDisabled) return APIERR_GENERAL;
        handler = menu->handler;
    }
    if (handler == nullptr) return APIERR_GENERAL;
    API_MenuParams params;
    params.menuItemRef = API_MenuItemRef{menuResID, itemIndex};
    return handler(&params);
}

std::vector<AddOnHost::ModelessWindowInfo> AddOnHost::ModelessWindows()
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    std::vector<ModelessWindowInfo> result;
    for (const auto& [id, palette] : state.palettes)
        result.push_back(ModelessWindowInfo{id, palette.guid, palette.controlFlags});
    return result;
}

GSErrCode AddOnHost::SendPaletteMessage(Int32 referenceID, API_PaletteMessageID messageID, intptr_t param)
{
    APIPaletteControlCallBackProc* callback = nullptr;
    {
        auto& state = State();
        std::lock_guard<std::recursive_mutex> lock(state.mutex);
        auto it = state.palettes.find(referenceID);
        if (it == state.palettes.end()) return APIERR_BADID;
        callback = it->second.callback;
    }
    return callback(referenceID, messageID, param);
}

bool AddOnHost::QueryPaletteVisible(Int32 referenceID)
{
    bool visible = false;
    if (SendPaletteMessage(referenceID, APIPalMsg_IsPaletteVisible, reinterpret_cast<intptr_t>(&visible)) != NoError)
        return false;
    return visible;
}

GSErrCode ACAPI_ProjectOperation_CatchProjectEvent(GSFlags eventTypes, APIProjectEventHandlerProc* handler)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    if (state.phase == Phase::None) return APIERR_GENERAL;  // no add-on is being loaded or running
    if ((eventTypes & ~GSFlags(APINotify_Quit)) != 0) return APIERR_BADPARS;
    state.quitHandler = (eventTypes & APINotify_Quit) != 0 ? handler : nullptr;
    return NoError;
}

void AddOnHost::NotifyQuit()
{
    if (APIProjectEventHandlerProc* handler = State().quitHandler.load()) handler(APINotify_Quit, 0);
}

void AddOnHost::FailNext(const std::string& functionName, GSErrCode code)
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    state.failNext[functionName] = code;
}

void AddOnHost::Reset()
{
    auto& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    state.phase = Phase::None;
    state.loaded = false;
    state.entryPoints = EntryPoints{};
    state.strings.clear();
    state.menus.clear();
    state.palettes.clear();
    state.failNext.clear();
    state.quitHandler = nullptr;
}
