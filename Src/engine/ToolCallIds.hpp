#pragma once

// Tool call ids that name one call each. Some OpenAI-compatible services number the calls of
// every reply from "call_0" again, or give two calls of one reply one id; a history holding two
// calls under one id cannot pair each result with its call, and the services refuse it. A
// repeated id is given a new name as the reply arrives, and the results carry that name.

#include <set>
#include <string>
#include <vector>

#include "engine/Conversation.hpp"
#include "engine/ModelProvider.hpp"

// id itself when not taken, else id + "-2", "-3", ... the first of them not taken.
std::string DistinctToolId(const std::string& id, const std::set<std::string>& taken);

// The calls of reply whose id an earlier call (in history or in the reply) has are renamed, in
// its tool calls and its history blocks alike.
void GiveDistinctToolIds(ModelReply& reply, const std::vector<HistoryMessage>& history);
