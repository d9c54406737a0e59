#pragma once

// Every earlier attachment rides along with each request, so a conversation with a picture in
// every message would soon make requests no service accepts, and stop working. Before a request
// is rendered, the oldest images and documents that would take it past its service's limit are
// replaced, in the request only, by a short text naming each; the newest are kept, and the
// newest message with attachments always whole (its own size was bounded when it was sent).
// The stored history keeps every attachment.

#include <vector>

#include "engine/Conversation.hpp"
#include "engine/ProviderChoice.hpp"

// history itself when it fits RequestBudget(kind) (engine/AttachmentLimits.hpp); otherwise
// fitted, filled with a copy of it whose oldest attachments are notes. The copy shares the
// attachments' data.
const std::vector<HistoryMessage>& FitToRequest(const std::vector<HistoryMessage>& history, ProviderKind kind,
                                                std::vector<HistoryMessage>& fitted);
