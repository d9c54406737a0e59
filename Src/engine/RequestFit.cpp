// The history held to what one request of its service may carry.
#include "engine/RequestFit.hpp"

#include "core/CompactJson.hpp"
#include "core/OutsideText.hpp"
#include "engine/AttachmentLimits.hpp"

namespace {

// Bytes a block adds to a request, as either service writes it: its text escaped, or its
// data, and room for the block's own keys.
std::size_t RequestBytes(const ContentBlock& block)
{
    constexpr std::size_t kFraming = 128;
    switch (block.kind) {
    case BlockKind::Text:
    case BlockKind::ToolResult: return JsonEscapedSize(block.text) + block.toolId.size() + kFraming;
    case BlockKind::ToolUse:
        return CompactJson(block.input).size() + block.toolId.size() + block.toolName.size() + kFraming;
    case BlockKind::Image:
    case BlockKind::Document: return (SentToModel(block) ? block.Data().size() : 0) + kFraming;
    }
    return kFraming;
}

std::string LeftOutNote(const ContentBlock& block, int number)
{
    const std::string what = block.kind == BlockKind::Image ? "image" : "document";
    const std::string type = block.mediaType.empty() ? what : block.mediaType;
    return "[Attachment " + std::to_string(number) + " of this message (" + what + ", " + type + ", " +
           Megabytes(DecodedSize(block.Data())) +
           ") is left out of this request: with it the request would pass what the service accepts. Ask the user "
           "to attach it again if you need it.]";
}

}  // namespace

const std::vector<HistoryMessage>& FitToRequest(const std::vector<HistoryMessage>& history, ProviderKind kind,
                                                std::vector<HistoryMessage>& fitted)
{
    std::size_t total = 0, newest = history.size();  // the newest message with an attachment sent
    for (std::size_t i = 0; i < history.size(); ++i)
        for (const ContentBlock& block : history[i].blocks) {
            total += RequestBytes(block);
            if (SentToModel(block)) newest = i;
        }
    const std::size_t budget = RequestBudget(kind);
    if (total <= budget) return history;

    fitted = history;
    for (std::size_t i = 0; i < newest && total > budget; ++i) {
        int number = 0;
        for (ContentBlock& block : fitted[i].blocks) {
            if (block.kind != BlockKind::Image && block.kind != BlockKind::Document) continue;
            ++number;
            if (!SentToModel(block) || total <= budget) continue;
            ContentBlock note = ContentBlock::Text(LeftOutNote(block, number));
            total = total - RequestBytes(block) + RequestBytes(note);
            block = std::move(note);
        }
    }
    return fitted;
}
