// The engine's attachments: a message's content read and held to the chosen service's limits
// before it is queued, and the attachments of the message being processed served to the tools
// that read them (the plan upload) while its turn runs.
#include "engine/AttachmentLimits.hpp"
#include "engine/ModelBridge.hpp"
#include "engine/UserContent.hpp"

namespace {

// The file extension an upload of the attachment takes; PNG for a type not named.
std::string ExtensionForMediaType(const std::string& mediaType)
{
    if (mediaType == "application/pdf") return "pdf";
    if (mediaType == "image/jpeg") return "jpg";
    if (mediaType == "image/tiff") return "tiff";
    return "png";
}

}  // namespace

std::string ModelBridge::ReadAttachedMessage(nlohmann::json content, std::vector<ContentBlock>& blocks,
                                             std::vector<std::size_t>& blamed) const
{
    std::string error;
    if (!ReadUserContent(content, blocks, error, &blamed)) return error;
    // One block was read from each of content's: a refusal names a file by the block's index.
    std::vector<std::string> names;
    if (content.is_array())
        for (const nlohmann::json& block : content) {
            const auto name = block.find("name");
            names.push_back(name != block.end() && name->is_string() ? name->get<std::string>() : std::string());
        }
    content = nullptr;  // its attachments now live in blocks
    const ServiceChoice service = [this] {
        std::lock_guard<std::mutex> lock(mutex);
        return ChooseService(services);
    }();
    return OversizedAttachment(blocks, service.kind,
                               service.kind == ProviderKind::OpenAI ? openai->DisplayName() : anthropic->DisplayName(),
                               names, &blamed);
}

void ModelBridge::KeepAttachments(const std::vector<ContentBlock>& message)
{
    std::lock_guard<std::mutex> lock(mutex);
    currentAttachments.clear();
    for (const ContentBlock& block : message)
        if (block.kind == BlockKind::Image || block.kind == BlockKind::Document) currentAttachments.push_back(block);
}

AttachmentData ModelBridge::GetCurrentAttachment(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= currentAttachments.size()) {
        return AttachmentData{};
    }
    const ContentBlock& block = currentAttachments[static_cast<std::size_t>(index)];
    return AttachmentData{block.Data(), block.mediaType, ExtensionForMediaType(block.mediaType)};
}
