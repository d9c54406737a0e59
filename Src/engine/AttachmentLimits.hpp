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
};

AttachmentLimits LimitsFor(ProviderKind kind);

// One image the model does not read (a TIFF): it is only described to the model, yet kept
// for the tools and in the history, so it is bounded all the same.
constexpr std::size_t kMaxUnreadImageBytes = 24 * 1024 * 1024;

// The size of the file that base64 text encodes.
std::size_t DecodedSize(const std::string& base64);

// Empty when every attachment of blocks fits the service; otherwise why the first one that
// does not is refused, e.g. "attachment 2 (image) is 7.2 MB; Anthropic takes images of at
// most 3.75 MB". Images the model cannot read are not sent to it and take kMaxUnreadImageBytes.
std::string OversizedAttachment(const std::vector<ContentBlock>& blocks, ProviderKind kind, const std::string& service);
