#include "testing/HostCalls.hpp"

#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace HostInternal {

namespace {

// The log keeps the most recent calls; counts cover every call.
constexpr size_t kMaxLogEntries = 200000;

struct RuleState {
    HostTesting::FailureRule rule;
    int seen = 0;
    int fired = 0;
};

struct LoggedCall {
    const char* function;
    std::string detail;
    std::optional<API_Guid> guid;  // shown when detail is empty
    GSErrCode result;
};

struct CallState {
    std::mutex mutex;
    UInt64 sequence = 0;
    std::deque<UInt64> logIds;
    std::vector<RuleState> rules;
    std::deque<LoggedCall> log;
    std::map<std::string, int> counts;
    std::thread::id mainThread = std::this_thread::get_id();
    Int64 offThreadCalls = 0;
};

CallState& State()
{
    static CallState* state = new CallState;
    return *state;
}

bool Matches(const HostTesting::FailureRule& rule, const char* function, const CallContext& c)
{
    if (rule.function != function) return false;
    if (rule.guid && (!c.guid || *c.guid != *rule.guid)) return false;
    if (rule.typeID && (!c.typeID || *c.typeID != *rule.typeID)) return false;
    if (rule.index && (!c.index || *c.index != *rule.index)) return false;
    if (rule.name && (!c.name || *c.name != *rule.name)) return false;
    return true;
}

GSErrCode Check(const char* function, const CallContext& context)
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (RuleState& r : s.rules) {
        if (!Matches(r.rule, function, context)) continue;
        if (r.rule.times >= 0 && r.fired >= r.rule.times) continue;
        if (r.seen++ < r.rule.skip) continue;
        ++r.fired;
        return r.rule.code;
    }
    return NoError;
}

}  // namespace

std::string GuidText(const API_Guid& guid) { return APIGuid2GSGuid(guid).ToString(); }

ApiCall::ApiCall(const char* function, std::string detail, CallContext context)
    : function_(function), detail_(std::move(detail)), context_(std::move(context))
{}

GSErrCode ApiCall::Injected() const { return Check(function_, context_); }

GSErrCode ApiCall::InjectedFor(const CallContext& context) const { return Check(function_, context); }

void ApiCall::LogEntry()
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.counts[function_];
    if (std::this_thread::get_id() != s.mainThread) ++s.offThreadCalls;
    entry_ = ++s.sequence;
    s.log.push_back(LoggedCall{function_, detail_, context_.guid, NoError});
    s.logIds.push_back(entry_);
    if (s.log.size() > kMaxLogEntries) {
        s.log.pop_front();
        s.logIds.pop_front();
    }
}

GSErrCode ApiCall::Return(GSErrCode code)
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (entry_ != 0) {
        for (size_t i = s.logIds.size(); i-- > 0;) {
            if (s.logIds[i] == entry_) {
                s.log[i].result = code;
                break;
            }
        }
        return code;
    }
    ++s.counts[function_];
    if (std::this_thread::get_id() != s.mainThread) ++s.offThreadCalls;
    s.log.push_back(LoggedCall{function_, std::move(detail_), context_.guid, code});
    s.logIds.push_back(++s.sequence);
    if (s.log.size() > kMaxLogEntries) {
        s.log.pop_front();
        s.logIds.pop_front();
    }
    return code;
}

void AddFailureRule(const HostTesting::FailureRule& rule)
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rules.push_back(RuleState{rule, 0, 0});
}

void ClearFailureRules()
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rules.clear();
}

void ClearCalls()
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.log.clear();
    s.logIds.clear();
    s.counts.clear();
}

void SetMainThreadToCurrent()
{
    CallState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.mainThread = std::this_thread::get_id();
}

}  // namespace HostInternal

namespace HostTesting {

std::vector<CallRecord> CallLog()
{
    auto& s = HostInternal::State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<CallRecord> out;
    out.reserve(s.log.size());
    for (const HostInternal::LoggedCall& c : s.log)
        out.push_back(
            CallRecord{c.function, c.detail.empty() && c.guid ? HostInternal::GuidText(*c.guid) : c.detail, c.result});
    return out;
}

int CallCount(const std::string& function)
{
    auto& s = HostInternal::State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.counts.find(function);
    return it == s.counts.end() ? 0 : it->second;
}

void ClearCallLog() { HostInternal::ClearCalls(); }

void SetMainThread() { HostInternal::SetMainThreadToCurrent(); }

Int64 OffThreadCallCount()
{
    auto& s = HostInternal::State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.offThreadCalls;
}

void ClearOffThreadCallCount()
{
    auto& s = HostInternal::State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.offThreadCalls = 0;
}

}  // namespace HostTesting
