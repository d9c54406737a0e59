#pragma once

// Tool call ids that name one call each. Some OpenAI-compatible services number the calls of
// every reply from "call_0" again, or give two calls of one reply one id; a history holding two
// calls under one id cannot pair each result with its call, and the services refuse it. A
// repeated id is given a new name as the reply arrives, and the results carry that name.

#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/Conversation.hpp"
#include "engine/ModelProvider.hpp"

// The names given to the calls of one conversation so far. The names an id was renamed to are
// kept as numbers with the first one free, so that naming a call costs a look-up or two however
// many calls before it had the same id.
class ToolIdNames {
public:
    // name is given (a call already made).
    void Take(const std::string& name);
    bool Taken(const std::string& name) const;
    // id itself when not given yet, else id + "-2", "-3", ... the first of them not given; the
    // name returned is given from then on.
    std::string Distinct(const std::string& id);

private:
    // Of one id, the numbers n for which id + "-" + n is given: every one from 2 below next, and
    // those in ahead.
    struct Numbered {
        unsigned long next = 2;
        std::set<unsigned long> ahead;
        void Give(unsigned long n);
    };
    std::unordered_set<std::string> plain;  // the names given that are not of that form
    std::map<std::string, Numbered, std::less<>> numbered;
};

// The calls of reply whose id an earlier call (in history or in the reply) has are renamed, in
// its tool calls and its history blocks alike.
void GiveDistinctToolIds(ModelReply& reply, const std::vector<HistoryMessage>& history);
