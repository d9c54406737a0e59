// Attachment size limits of the language-model services.
#include "engine/AttachmentLimits.hpp"

#include <cstdio>

#include "engine/ProviderCommon.hpp"
#include "engine/UserContent.hpp"

namespace {

constexpr std::size_t kMB = 1024 * 1024;

}  // namespace

std::string Megabytes(std::size_t bytes)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.2f", static_cast<double>(bytes) / kMB);
    std::string text = digits;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text + " MB";
}

bool SentToModel(const ContentBlock& block)
{
    return block.kind == BlockKind::Document ||
           (block.kind == BlockKind::Image && ProviderCommon::IsImageTypeModelsRead(block.mediaType));
}

AttachmentLimits LimitsFor(ProviderKind kind)
{
    // Anthropic counts an image's base64 text against its 5 MB, which a 3.75 MB file fills, and
    // takes requests of at most 32 MB; OpenAI takes at most 32 MB of files in one request.
    if (kind == ProviderKind::Anthropic) return {5 * kMB * 3 / 4, 24 * kMB, 32 * kMB};
    return {20 * kMB, 24 * kMB, 32 * kMB};
}

std::size_t RequestBudget(ProviderKind kind) { return LimitsFor(kind).requestBytes - kRequestReserveBytes; }

std::size_t DecodedSize(const std::string& base64)
{
    std::size_t padding = 0;
    for (auto it = base64.rbegin(); it != base64.rend() && *it == '=' && padding < 2; ++it) ++padding;
    const std::size_t size = base64.size() / 4 * 3;
    return size > padding ? size - padding : 0;
}

std::string OversizedAttachment(const std::vector<ContentBlock>& blocks, ProviderKind kind, const std::string& service,
                                const std::vector<std::string>& names, std::vector<std::size_t>* tooLarge)
{
    const AttachmentLimits limits = LimitsFor(kind);
    std::string first;
    int number = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const ContentBlock& block = blocks[i];
        const bool image = block.kind == BlockKind::Image;
        if (!image && block.kind != BlockKind::Document) continue;
        ++number;
        const bool unread = image && !ProviderCommon::IsImageTypeModelsRead(block.mediaType);
        const std::size_t limit = unread ? kMaxUnreadImageBytes : image ? limits.imageBytes : limits.documentBytes;
        const std::size_t size = DecodedSize(block.Data());
        if (size <= limit) continue;
        if (tooLarge != nullptr) tooLarge->push_back(i);
        if (!first.empty()) continue;
        const std::string name = i < names.size() ? names[i] : std::string();
        first = (name.empty() ? "attachment " + std::to_string(number) + (image ? " (image)" : " (PDF)")
                              : "the file " + FileAsShown(name)) +
                " is " + Megabytes(size) + "; " +
                (unread ? "images the model does not read may be at most " + Megabytes(limit)
                        : service + " takes " + (image ? "images" : "PDF files") + " of at most " + Megabytes(limit));
    }
    if (!first.empty()) return first;
    std::size_t all = 0, sent = 0;
    for (const ContentBlock& block : blocks) {
        if (block.kind != BlockKind::Image && block.kind != BlockKind::Document) continue;
        all += DecodedSize(block.Data());
        if (SentToModel(block)) sent += DecodedSize(block.Data());
    }
    if (all > kMaxMessageAttachmentBytes)
        return "the attachments come to " + Megabytes(all) + "; one message may attach at most " +
               Megabytes(kMaxMessageAttachmentBytes);
    // Sent as base64, which takes four bytes for every three.
    const std::size_t readable = RequestBudget(kind) / 4 * 3;
    if (sent > readable)
        return "the attachments the model reads come to " + Megabytes(sent) + "; " + service + " reads at most " +
               Megabytes(readable) + " of them in one message";
    return "";
}
