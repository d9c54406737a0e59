// The graphic override combinations: listed in stored order and read one by one.

#include "navigator/Documentation.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

GSErrCode ACAPI_Override_GetOverrideCombinationList(GS::Array<API_Guid>& combinations)
{
    ApiCall call("ACAPI_Override_GetOverrideCombinationList", "");
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    for (const OverrideCombination& c : TheProject().Docs().overrides) combinations.Push(c.guid);
    return call.Return(NoError);
}

GSErrCode ACAPI_Override_GetOverrideCombination(API_OverrideCombination& combination, GS::Array<API_Guid>* rules)
{
    CallContext context;
    context.guid = combination.guid;
    ApiCall call("ACAPI_Override_GetOverrideCombination", "", context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    for (const OverrideCombination& c : TheProject().Docs().overrides) {
        if (c.guid != combination.guid) continue;
        combination.name = GS::UniString(c.name.c_str(), USize(c.name.size()));
        if (rules != nullptr)
            for (const API_Guid& rule : c.rules) rules->Push(rule);
        return call.Return(NoError);
    }
    return call.Return(APIERR_BADID);
}
