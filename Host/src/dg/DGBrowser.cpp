#include "DGBrowser.hpp"
#include "PaletteHost.hpp"

#include <algorithm>
#include <chrono>

namespace {

std::string ToUtf8(const GS::UniString& text) { return text.ToStdString(); }

// Local documents arrive as file:// addresses or plain paths; the shell serves the file.
std::string PathFromUrl(const std::string& url)
{
    const std::string scheme = "file://";
    if (url.compare(0, scheme.size(), scheme) == 0) return url.substr(scheme.size());
    return url;
}

constexpr std::size_t kExecutedScriptsKept = 2000;
constexpr int kDefaultPaletteWidth = 420;
constexpr int kDefaultPaletteHeight = 680;
constexpr int kMinPaletteSide = 280;
constexpr int kMaxPaletteSide = 4000;

}  // namespace

// What the tests are shown of a palette is what the host keeps of it (browserIds stays empty
// here: browsers name their palette instead).
struct DG::Palette::State : PaletteHost::PaletteInfo {
    State()
    {
        width = kDefaultPaletteWidth;
        height = kDefaultPaletteHeight;
    }
};

struct DG::Browser::State {
    int id = 0;
    int paletteId = 0;
    std::string documentPath;
    std::map<std::string, JS::Object> objects;
    std::deque<std::string> executed;
    std::shared_ptr<PaletteHost::ScriptOutbox> outbox = std::make_shared<PaletteHost::ScriptOutbox>();
};

namespace {

struct Registry {
    std::mutex mutex;
    int nextId = 1;
    std::map<int, std::shared_ptr<DG::Palette::State>> palettes;
    std::map<int, std::shared_ptr<DG::Browser::State>> browsers;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

PaletteHost::BrowserInfo Describe(const DG::Browser::State& state)
{
    PaletteHost::BrowserInfo info;
    info.id = state.id;
    info.documentPath = state.documentPath;
    for (const auto& [name, object] : state.objects) {
        auto& names = info.functionsByObject[name];
        for (const auto& function : object.GetFunctions()) names.push_back(function.GetName());
    }
    info.outbox = state.outbox;
    return info;
}

}  // namespace

// ---- ScriptOutbox ------------------------------------------------------------------------

void PaletteHost::ScriptOutbox::Push(const std::string& script)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed) return;
        scripts.emplace_back(nextSeq++, script);
        // A page that never connects must not make the host grow without bound.
        while (scripts.size() > kExecutedScriptsKept) scripts.pop_front();
    }
    changed.notify_all();
}

std::vector<std::pair<std::uint64_t, std::string>> PaletteHost::ScriptOutbox::WaitAfter(std::uint64_t afterSeq,
                                                                                        int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    auto hasNewer = [&] { return closed || (!scripts.empty() && scripts.back().first > afterSeq); };
    changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), hasNewer);
    std::vector<std::pair<std::uint64_t, std::string>> result;
    for (const auto& entry : scripts)
        if (entry.first > afterSeq) result.push_back(entry);
    if (!result.empty()) lastTaken = std::max(lastTaken, result.back().first);
    return result;
}

std::uint64_t PaletteHost::ScriptOutbox::LastTaken() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lastTaken;
}

std::uint64_t PaletteHost::ScriptOutbox::LastPushed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return nextSeq - 1;
}

void PaletteHost::ScriptOutbox::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
    }
    changed.notify_all();
}

bool PaletteHost::ScriptOutbox::IsClosed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return closed;
}

// ---- DG::Palette -------------------------------------------------------------------------

DG::Palette::Palette(const GS::Guid& guid, const std::string& title) : state(std::make_shared<State>())
{
    state->guid = ToUtf8(guid.ToUniString());
    state->title = title;
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    state->id = registry.nextId++;
    registry.palettes[state->id] = state;
}

DG::Palette::~Palette()
{
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.palettes.erase(state->id);
}

#define PALETTE_SET(field, value)                                                                                      \
    do {                                                                                                               \
        std::lock_guard<std::mutex> lock(TheRegistry().mutex);                                                         \
        state->field = value;                                                                                          \
    } while (0)
#define PALETTE_GET(field)                                                                                             \
    do {                                                                                                               \
        std::lock_guard<std::mutex> lock(TheRegistry().mutex);                                                         \
        return state->field;                                                                                           \
    } while (0)

void DG::Palette::Show() { PALETTE_SET(visible, true); }
void DG::Palette::Hide() { PALETTE_SET(visible, false); }
bool DG::Palette::IsVisible() const { PALETTE_GET(visible); }
void DG::Palette::Enable() { PALETTE_SET(enabled, true); }
void DG::Palette::Disable() { PALETTE_SET(enabled, false); }
bool DG::Palette::IsEnabled() const { PALETTE_GET(enabled); }
void DG::Palette::BeginEventProcessing() { PALETTE_SET(processingEvents, true); }
void DG::Palette::EndEventProcessing() { PALETTE_SET(processingEvents, false); }
bool DG::Palette::IsProcessingEvents() const { PALETTE_GET(processingEvents); }
void DG::Palette::SetSize(int width, int height)
{
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    state->width = std::clamp(width, kMinPaletteSide, kMaxPaletteSide);
    state->height = std::clamp(height, kMinPaletteSide, kMaxPaletteSide);
}

int DG::Palette::GetWidth() const { PALETTE_GET(width); }
int DG::Palette::GetHeight() const { PALETTE_GET(height); }
const std::string& DG::Palette::GetTitle() const { return state->title; }
int DG::Palette::GetId() const { return state->id; }

#undef PALETTE_SET
#undef PALETTE_GET

// ---- DG::Browser -------------------------------------------------------------------------

DG::Browser::Browser(Palette& owner) : state(std::make_shared<State>())
{
    state->paletteId = owner.GetId();
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    state->id = registry.nextId++;
    registry.browsers[state->id] = state;
}

DG::Browser::~Browser()
{
    state->outbox->Close();
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.browsers.erase(state->id);
}

void DG::Browser::LoadURL(const GS::UniString& url)
{
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    state->documentPath = PathFromUrl(ToUtf8(url));
    // A new document starts without the old one's bridge objects, as in a real browser.
    state->objects.clear();
}

void DG::Browser::ExecuteJS(const GS::UniString& script)
{
    std::string text = ToUtf8(script);
    {
        std::lock_guard<std::mutex> lock(TheRegistry().mutex);
        state->executed.push_back(text);
        while (state->executed.size() > kExecutedScriptsKept) state->executed.pop_front();
    }
    state->outbox->Push(text);
}

bool DG::Browser::RegisterAsynchJSObject(const JS::Object& object)
{
    if (object.GetName().empty()) return false;
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    state->objects.erase(object.GetName());
    state->objects.emplace(object.GetName(), object);
    return true;
}

int DG::Browser::GetId() const { return state->id; }

// ---- PaletteHost -------------------------------------------------------------------------

std::vector<PaletteHost::PaletteInfo> PaletteHost::Palettes()
{
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    std::vector<PaletteInfo> result;
    for (const auto& [id, palette] : registry.palettes) {
        PaletteInfo info = *palette;
        for (const auto& [browserId, browser] : registry.browsers)
            if (browser->paletteId == id) info.browserIds.push_back(browserId);
        result.push_back(std::move(info));
    }
    return result;
}

std::optional<PaletteHost::BrowserInfo> PaletteHost::FindBrowser(int browserId)
{
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.browsers.find(browserId);
    if (it == registry.browsers.end()) return std::nullopt;
    return Describe(*it->second);
}

std::vector<PaletteHost::BrowserInfo> PaletteHost::Browsers()
{
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    std::vector<BrowserInfo> result;
    for (const auto& [id, browser] : registry.browsers) result.push_back(Describe(*browser));
    return result;
}

std::vector<std::string> PaletteHost::ExecutedScripts(int browserId)
{
    auto& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.browsers.find(browserId);
    if (it == registry.browsers.end()) return {};
    return {it->second->executed.begin(), it->second->executed.end()};
}

bool PaletteHost::CallBridgeFunction(int browserId, const std::string& objectName, const std::string& functionName,
                                     const std::vector<JS::Value>& args, JS::Value& result, std::string& error)
{
    std::optional<JS::Function> function;
    {
        auto& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto browser = registry.browsers.find(browserId);
        if (browser == registry.browsers.end()) {
            error = "No such browser";
            return false;
        }
        auto object = browser->second->objects.find(objectName);
        if (object == browser->second->objects.end()) {
            error = "No bridge object named " + objectName;
            return false;
        }
        for (const auto& candidate : object->second.GetFunctions())
            if (candidate.GetName() == functionName) function = candidate;
    }
    if (!function) {
        error = "No bridge function named " + objectName + "." + functionName;
        return false;
    }
    // Called without the registry lock: the function may well run ExecuteJS.
    try {
        result = function->Call(args);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "The bridge function failed";
    }
    return false;
}
