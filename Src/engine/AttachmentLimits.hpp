#pragma once

// How large an attachment each language-model service takes. A message whose attachment is
// larger is refused before it is sent, naming the limit, instead of failing at the service
// with a bare HTTP 400 after the upload. The chat page applies the same limits when files
// are attached (and scales images down to fit).

#include <cstddef>
#include <string>
#include <vector>

#include "engine/Conversation.hpp"
#include "engine/ProviderChoice.hpp"

struct AttachmentLimits {
    std::size_t imageBytes;     // one image file the model reads (PNG, JPEG, GIF, WebP)
    std::size_t documentBytes;  // one PDF
    std::size_t requestBytes;   // one whole request, as sent
};

AttachmentLimits LimitsFor(ProviderKind kind);

// One image the model does not read (a TIFF): it is only described to the model, yet kept
// for the tools and in the history, so it is bounded all the same.
constexpr std::size_t kMaxUnreadImageBytes = 24 * 1024 * 1024;

// Every attachment of one message together, read by the model or not: what one message may
// add to the memory the conversation holds and to its history file.
constexpr std::size_t kMaxMessageAttachmentBytes = 32 * 1024 * 1024;

// Room in a request for what is not the conversation: the system prompt, the tool catalogue
// and the request's own framing.
constexpr std::size_t kRequestReserveBytes = 2 * 1024 * 1024;

// The bytes of the conversation one request of the service may carry.
std::size_t RequestBudget(ProviderKind kind);

// The size of the file that base64 text encodes.
std::size_t DecodedSize(const std::string& base64);

// A size as the messages give it: "3.75 MB" (MB of 1,048,576 bytes).
std::string Megabytes(std::size_t bytes);

// Whether the model is sent block's data (an image it reads, a document), not a note.
bool SentToModel(const ContentBlock& block);

// Empty when the attachments of one message fit the service; otherwise why the message is
// refused: every attachment too large on its own, the first of them with its limit, e.g.
// "attachment 2 (image) is 7.2 MB; Anthropic takes images of at most 3.75 MB" or, where names
// (one per block, "" for none) gives it a file name, "the file "plan.png" is 7.2 MB; ...", and
// the others as "too large as well" (images the model cannot read are not sent to it and take
// kMaxUnreadImageBytes); and then, of the rest taken in order while together they fit
// kMaxMessageAttachmentBytes and what one request of the service carries, those that do not,
// e.g. "the attachments come to 34 MB; one message may attach at most 32 MB, so the file "b.tif"
// is taken out: send it in another message". tooLarge (when given) gets the indexes of every
// block taken out, in order: what is left fits one message.
std::string OversizedAttachment(const std::vector<ContentBlock>& blocks, ProviderKind kind, const std::string& service,
                                const std::vector<std::string>& names = {},
                                std::vector<std::size_t>* tooLarge = nullptr);
