// The running conversation's file.
#include "palette/ConversationLog.hpp"

#include <algorithm>
#include <utility>

#include "core/DebugLog.hpp"
#include "core/FileText.hpp"

namespace {

constexpr std::size_t kMostFilesTried = 5;

bool SameBlock(const ContentBlock& a, const ContentBlock& b)
{
    return a.kind == b.kind && a.text == b.text && a.mediaType == b.mediaType && a.toolId == b.toolId &&
           a.toolName == b.toolName && a.isError == b.isError && (a.data == b.data || a.Data() == b.Data()) &&
           a.input == b.input;
}

}  // namespace

bool ConversationLog::RestoreNewest(std::vector<HistoryMessage>& history, nlohmann::json& entries,
                                    std::vector<SetAside>* setAside)
{
    RemoveStaleTemporaries(LocalStorage::HistoryDir());
    const std::vector<std::string> names = LocalStorage::ConversationsNewestFirst();
    for (std::size_t i = 0; i < names.size() && i < kMostFilesTried; ++i) {
        auto held = std::make_shared<LocalStorage::HeldConversation>();
        const auto taken = held->TakeUp(names[i]);
        if (taken == LocalStorage::HeldConversation::Taken::HeldElsewhere) {
            DebugLog("Conversation " + names[i] + " is kept by another host; this one starts its own");
            break;
        }
        std::string text, why;
        DecodedConversation read;
        const bool opened = taken == LocalStorage::HeldConversation::Taken::Held && held->Read(text);
        if (!opened || !DecodeRecords(text, read, why)) {
            // A file that cannot be opened is left alone: nothing says it is damaged.
            const std::string aside = opened ? held->SetAside(false, text) : std::string();
            DebugLog("Conversation file " + names[i] +
                     (opened ? " cannot be read (" + why + ")" : " cannot be opened") +
                     (aside.empty() ? "" : "; set aside as " + aside));
            if (!aside.empty() && setAside != nullptr) setAside->push_back({aside, false});
            continue;
        }
        name = names[i];
        file = std::move(held);
        Kept(read.history, read.entries);
        keptBytes = read.appendable ? read.readBytes : 0;
        fileBytes = text.size();
        DebugLog("Conversation " + name + " restored" + (read.damagedInside ? " in part" : ""));
        // What could not be read stays beside for the user; what could is written anew at once,
        // and only then does the file leave the name it is restored from.
        std::string error;
        if (read.damagedInside) {
            const std::string aside = file->SetAside(true, text);
            std::string().swap(text);  // the records read stay as they are, in read.repaired
            if (aside.empty() || !WriteAnew(read.history, read.entries, error, &read.repaired))
                DebugLog("Cannot keep the conversation: " + (aside.empty() ? "it cannot be set aside" : error));
            else if (setAside != nullptr)
                setAside->push_back({aside, true});
        }
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
    keptLast = HistoryMessage{};
    keptBytes = fileBytes = 0;
    file.reset();
}

bool ConversationLog::Save(const std::vector<HistoryMessage>& history, const nlohmann::json& entries,
                           std::size_t changedFrom, std::string& error)
{
    // The history mostly grows between saves, but a turn given back is taken out of it, and a
    // question a restore sets aside was in the file: a history grown again to as many messages
    // is told by the last message the file holds. Should it not continue what the file holds,
    // the file is written anew rather than given a record that does not fit.
    const auto goesOn = [&] {
        const auto& blocks = history[kept.messages - 1].blocks;
        return blocks.size() >= kept.blocksInLast && history[kept.messages - 1].role == keptLast.role &&
               std::equal(keptLast.blocks.begin(), keptLast.blocks.end(), blocks.begin(), SameBlock);
    };
    const bool continues =
        kept.messages <= history.size() && (kept.messages == 0 || goesOn()) && kept.entries <= entries.size();
    if (file && keptBytes > 0 && continues) {
        KeptPosition from = kept;
        from.entries = std::min(from.entries, changedFrom);
        const std::string record = EncodeRecord(history, entries, from);
        if (file->Append(record, keptBytes, fileBytes, fileBytes, &error)) {
            Kept(history, entries);
            keptBytes += record.size();
            return true;
        }
    }
    return WriteAnew(history, entries, error);
}

bool ConversationLog::WriteAnew(const std::vector<HistoryMessage>& history, const nlohmann::json& entries,
                                std::string& error, const std::string* whole)
{
    // Another writer's bytes stay where they are.
    if (file && !file->Name().empty() && file->ChangedSince(fileBytes)) {
        DebugLog("Conversation " + name + " was changed by another writer; it goes on in a new file");
        StartNew();
    }
    const std::string encoded = whole != nullptr ? std::string() : EncodeRecord(history, entries, KeptPosition{});
    const std::string& bytes = whole != nullptr ? *whole : encoded;
    if (!file) file = std::make_shared<LocalStorage::HeldConversation>();
    if (!(file->Name().empty() ? file->Create(name, bytes, &error) : file->Replace(bytes, &error))) return false;
    Kept(history, entries);
    keptBytes = fileBytes = bytes.size();
    return true;
}

void ConversationLog::Kept(const std::vector<HistoryMessage>& history, const nlohmann::json& entries)
{
    kept = PositionOf(history, entries);
    keptLast = history.empty() ? HistoryMessage{} : history.back();
}
