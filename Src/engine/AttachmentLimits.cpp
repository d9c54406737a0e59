// Attachment size limits of the language-model services.
#include "engine/AttachmentLimits.hpp"

#include <algorithm>
#include <cstdio>

#include "engine/ProviderCommon.hpp"
#include "engine/UserContent.hpp"

namespace {

constexpr std::size_t kMB = 1024 * 1024;

// The attachments at those indexes, as the chat names them: "the file "a.pdf"", "the files
// "a.pdf" and "b.pdf"", or, when not every attachment has a name, each as described
// ("attachment 2 (image)"); then "is" or "are".
std::string NamedAsOne(const std::vector<std::size_t>& at, const std::vector<std::string>& described,
                       const std::vector<std::string>& names, bool allNamed)
{
    std::vector<std::string> items;
    for (const std::size_t i : at) items.push_back(allNamed ? FileAsShown(names[i]) : described[i]);
    const bool one = at.size() == 1;
    return std::string(allNamed ? (one ? "the file " : "the files ") : "") + ListedInProse(items) +
           (one ? " is" : " are");
}

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
    std::vector<std::size_t> alone;  // too large on their own
    std::vector<std::string> described(blocks.size());
    bool allNamed = true;
    int number = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const ContentBlock& block = blocks[i];
        const bool image = block.kind == BlockKind::Image;
        if (!image && block.kind != BlockKind::Document) continue;
        ++number;
        const std::string name = i < names.size() ? names[i] : std::string();
        allNamed = allNamed && !name.empty();
        described[i] = name.empty() ? "attachment " + std::to_string(number) + (image ? " (image)" : " (PDF)")
                                    : "the file " + FileAsShown(name);
        const bool unread = image && !ProviderCommon::IsImageTypeModelsRead(block.mediaType);
        const std::size_t limit = unread ? kMaxUnreadImageBytes : image ? limits.imageBytes : limits.documentBytes;
        const std::size_t size = DecodedSize(block.Data());
        if (size <= limit) continue;
        alone.push_back(i);
        if (!first.empty()) continue;
        first = described[i] + " is " + Megabytes(size) + "; " +
                (unread ? "images the model does not read may be at most " + Megabytes(limit)
                        : service + " takes " + (image ? "images" : "PDF files") + " of at most " + Megabytes(limit));
    }
    // The others are taken in order while they fit one message together, so that what goes back
    // into the box can be sent as it is; the rest are named.
    const std::size_t readable = RequestBudget(kind) / 4 * 3;  // sent as base64: four bytes for every three
    std::size_t all = 0, sent = 0, allAsked = 0, sentAsked = 0;
    std::vector<std::size_t> over;
    bool eachFits = true;  // every file taken out could go in a message of its own
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (described[i].empty() || std::find(alone.begin(), alone.end(), i) != alone.end()) continue;
        const std::size_t size = DecodedSize(blocks[i].Data());
        const std::size_t read = SentToModel(blocks[i]) ? size : 0;
        allAsked += size;
        sentAsked += read;
        if (all + size <= kMaxMessageAttachmentBytes && sent + read <= readable) {
            all += size;
            sent += read;
            continue;
        }
        over.push_back(i);
        eachFits = eachFits && size <= kMaxMessageAttachmentBytes && read <= readable;
    }
    if (tooLarge != nullptr) {
        tooLarge->insert(tooLarge->end(), alone.begin(), alone.end());
        tooLarge->insert(tooLarge->end(), over.begin(), over.end());
        std::sort(tooLarge->begin(), tooLarge->end());
    }
    if (alone.size() > 1)
        first += "; " + NamedAsOne({alone.begin() + 1, alone.end()}, described, names, allNamed) + " too large as well";
    if (over.empty()) return first;
    const std::string which = first.empty() ? "the attachments" : "the other attachments";
    std::string why = allAsked > kMaxMessageAttachmentBytes
                          ? which + " come to " + Megabytes(allAsked) + "; one message may attach at most " +
                                Megabytes(kMaxMessageAttachmentBytes)
                          : which + " the model reads come to " + Megabytes(sentAsked) + "; " + service +
                                " reads at most " + Megabytes(readable) + " of them in one message";
    const bool one = over.size() == 1;
    why += ", so " + NamedAsOne(over, described, names, allNamed) + " taken out" +
           (eachFits ? std::string(": send ") + (one ? "it in another message" : "them in later messages") : "");
    return first.empty() ? why : first + "; " + why;
}
