// Render tool: the host's window (what the user sees) goes to the product's render service
// with a style preset; the tool answers at once with the job id, and a poll thread delivers the
// finished image to the chat palette later. The chat palette registers this family itself,
// right before the plan family: it needs the palette's preview and tool-result callbacks.

#include <algorithm>
#include <locale>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

#include "HostWindow.hpp"
#include "core/JsonDepth.hpp"
#include "services/ProductService.hpp"
#include "services/UploadFile.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"
#include "tools/recognition/RenderJobs.hpp"

namespace Service = Quillmere::ProductService;

namespace {

// The style presets the service knows, by name. Only the names travel: the service holds
// the prompt of each style itself.
const std::map<std::string, std::string> kPresetPrompts = {
    {"clay", "Clean white clay model, soft studio lighting, neutral background"},
    {"exterior_modern", "Modern architectural exterior, natural daylight, landscaped surroundings"},
    {"interior_warm", "Warm interior, soft natural light, wooden textures, cosy furnishing"},
    {"photoreal", "Photorealistic architectural render, realistic materials and lighting"},
    {"watercolor", "Loose architectural watercolour sketch on paper"},
};

// The host's main window, else its key window, as PNG bytes; empty when there is neither or
// the window gives no picture.
std::string CaptureHostWindow()
{
    CGWindowID window = HostWindow::MainWindowNumber();
    if (window == 0) window = HostWindow::KeyWindowNumber();
    if (window == 0) return {};
    return HostWindow::CaptureWindowPng(window);
}

// The strength as the service reads it: clamped to 0..1, six decimals, always with a point
// whatever locale the host runs in.
std::string StrengthText(double strength)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.setf(std::ios::fixed);
    out.precision(6);
    out << std::min(1.0, std::max(0.0, strength));
    return out.str();
}

ToolResult RenderCurrentView(const ChatPreview& onRenderPreview, const ChatToolResult& onRenderToolResult,
                             const json& input)
{
    const std::string preset = StringInput(input, "preset", "photoreal");
    const std::string prompt = StringInput(input, "prompt");
    const double strength = NumberInput(input, "strength", 0.65);
    const std::string format = StringInput(input, "format", "png");
    if (kPresetPrompts.count(preset) == 0) return ToolResult::Fail("Unknown preset '" + preset + "'");

    std::string png = CaptureHostWindow();
    if (png.empty()) return ToolResult::Fail("Failed to capture viewport image");

    Quillmere::HttpResponse response;
    {
        // The service sees the capture under this name; the file itself lives in a private
        // folder of its own for the one request.
        const std::string name = "quillmere_capture_" + std::to_string(::getpid()) + ".png";
        const Quillmere::UploadFile capture(name, png);
        std::string().swap(png);
        if (!capture.Written())
            return ToolResult::Fail("Render failed: the capture could not be written to a temporary file (TMPDIR)");
        response = Service::PostMultipart(
            "/render/start",
            {{"format", format}, {"preset", preset}, {"prompt", prompt}, {"strength", StrengthText(strength)}},
            {{"image", capture.Path(), "image/png"}});
    }  // the capture and its folder are gone from here on, whatever the reply
    if (!Service::Succeeded(response)) return ToolResult::Fail(Service::FailureText("Render server error: ", response));

    const json reply = ParseOutsideJson(response.body);
    if (!reply.is_object() || !reply.contains("job_id")) return ToolResult::Fail("Invalid response from render server");
    const std::string jobId = reply["job_id"].get<std::string>();

    RenderJobs::StartPolling(jobId, onRenderPreview, onRenderToolResult);

    ToolResult result;
    result.success = true;
    result.message = json({{"job_id", jobId},
                           {"status", "processing"},
                           {"message", "Render submitted (" + preset + "). Preview will appear when ready."}})
                         .dump();
    return result;
}

}  // namespace

void RegisterRenderTools(ToolRegistry& registry, ChatPreview onRenderPreview, ChatToolResult onRenderToolResult)
{
    json presets = json::array();
    for (const auto& entry : kPresetPrompts) presets.push_back(entry.first);

    // Every input is optional: this schema has no "required" list at all, which the kit's
    // builder always writes, so the definition is put together here.
    ToolDef def;
    def.name = "render_current_view";
    def.description =
        "Render the current ArchiCAD viewport as a photorealistic (or styled) image using AI. Returns immediately; a "
        "preview card appears in chat when done.";
    def.inputSchema = {
        {"type", "object"},
        {"properties",
         {{"preset",
           {{"type", "string"}, {"enum", presets}, {"description", "Rendering style preset (default: photoreal)"}}},
          {"prompt", {{"type", "string"}, {"description", "Optional extra prompt to guide the render"}}},
          {"strength",
           {{"type", "number"},
            {"description", "How much to transform the image (0-1, default 0.65). Lower = closer to original."}}},
          {"format", {{"type", "string"}, {"enum", {"png", "jpg"}}, {"description", "Output format (default png)"}}}}}};
    def.handler = [onRenderPreview = std::move(onRenderPreview), onRenderToolResult = std::move(onRenderToolResult)](
                      const json& input) { return RenderCurrentView(onRenderPreview, onRenderToolResult, input); };
    registry.Register(std::move(def));
}
