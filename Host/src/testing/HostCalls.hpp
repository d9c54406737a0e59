#pragma once

// Every ACAPI function starts with an ApiCall: it consults the injected failures and writes
// the call log when the function returns through Return().

#include <optional>
#include <string>

#include "ACAPinc.h"
#include "HostTesting.hpp"

namespace HostInternal {

struct CallContext {
    std::optional<API_Guid> guid;
    std::optional<Int32> typeID;
    std::optional<Int32> index;
    std::optional<std::string> name;
};

class ApiCall {
public:
    // An empty detail logs the context's GUID (formatted only when the log is read).
    ApiCall(const char* function, std::string detail, CallContext context = {});
    // The injected code for this call, or 0.
    GSErrCode Injected() const;
    // An injected code for another subject of the same call (e.g. each GUID of a list), or 0.
    GSErrCode InjectedFor(const CallContext& context) const;
    GSErrCode Return(GSErrCode code);
    // Writes the log entry now (for calls that make other calls, so the log keeps call
    // order); Return then fills in the result.
    void LogEntry();

private:
    UInt64 entry_ = 0;
    const char* function_;
    std::string detail_;
    CallContext context_;
};

std::string GuidText(const API_Guid& guid);

void AddFailureRule(const HostTesting::FailureRule& rule);
void ClearFailureRules();
void ClearCalls();
void SetMainThreadToCurrent();

}  // namespace HostInternal
