// The running conversation's file.
#include "palette/ConversationLog.hpp"

#include <algorithm>
#include <utility>

#include "core/ConversationFiles.hpp"
#include "core/DebugLog.hpp"

namespace {

constexpr std::size_t kMostFilesTried = 5;

}  // namespace

bool ConversationLog::RestoreNewest(std::vector<HistoryMessage>& history, nlohmann::json& entries)
{
    const std::vector<std::string> names = LocalStorage::ConversationsNewestFirst();
    for (std::size_t i = 0; i < names.size() && i < kMostFilesTried; ++i) {
        std::string text, why;
        DecodedConversation read;
        const bool opened = LocalStorage::ReadConversation(names[i], text);
        if (!opened || !DecodeRecords(text, read, why)) {
            // A file that cannot be opened is left alone: nothing says it is damaged.
            const bool aside = opened && LocalStorage::SetConversationAside(names[i]);
            DebugLog("Conversation file " + names[i] +
                     (opened ? " cannot be read (" + why + ")" : " cannot be opened") + (aside ? "; set aside" : ""));
            continue;
        }
        name = names[i];
        kept = PositionOf(read.history, read.entries);
        keptBytes = read.appendable ? read.readBytes : 0;
        DebugLog("Conversation " + name + " restored" + (read.damagedInside ? " in part" : ""));
        // What could not be read stays beside for the user; what could is written anew at once.
        std::string error;
        if (read.damagedInside && LocalStorage::SetConversationAside(name) &&
            !Save(read.history, read.entries, std::string::npos, error))
            DebugLog("Cannot keep the conversation: " + error);
        history = std::move(read.history);
        entries = std::move(read.entries);
        return true;
    }
    StartNew();
    return false;
}

void ConversationLog::StartNew()
{
    name = LocalStorage::NewConversationName();
    kept = KeptPosition{};
    keptBytes = 0;
}

bool ConversationLog::Save(const std::vector<HistoryMessage>& history, const nlohmann::json& entries,
                           std::size_t changedFrom, std::string& error)
{
    // The history only grows between saves; should it not continue what the file holds, the
    // file is written anew rather than given a record that does not fit.
    const bool continues = kept.messages <= history.size() &&
                           (kept.messages == 0 || history[kept.messages - 1].blocks.size() >= kept.blocksInLast) &&
                           kept.entries <= entries.size();
    if (keptBytes > 0 && continues) {
        KeptPosition from = kept;
        from.entries = std::min(from.entries, changedFrom);
        const std::string record = EncodeRecord(history, entries, from);
        if (LocalStorage::AppendToConversation(name, record, keptBytes, &error)) {
            kept = PositionOf(history, entries);
            keptBytes += record.size();
            return true;
        }
    }
    const std::string whole = EncodeRecord(history, entries, KeptPosition{});
    if (!LocalStorage::SaveConversation(name, whole, &error)) return false;
    kept = PositionOf(history, entries);
    keptBytes = whole.size();
    return true;
}
