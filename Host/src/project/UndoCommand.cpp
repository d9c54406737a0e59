#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

GSErrCode ACAPI_CallUndoableCommand(const GS::UniString& undoName, const std::function<GSErrCode()>& body)
{
    const std::string name = undoName.ToStdString();
    CallContext context;
    context.name = name;
    ApiCall call("ACAPI_CallUndoableCommand", name, context);
    call.LogEntry();
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    if (project.InCommand()) return call.Return(APIERR_REFUSEDCMD);
    if (!body) return call.Return(APIERR_BADPARS);

    project.BeginStep(name);
    GSErrCode code;
    try {
        code = body();
    } catch (...) {
        // Nothing may escape into the host: a throwing body fails the command like an error.
        code = APIERR_COMMANDFAILED;
    }
    if (code == NoError)
        project.CommitStep();
    else
        project.RollBackStep();
    return call.Return(code);
}
