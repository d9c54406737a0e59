// ACAPI_Automate: the host's output commands. 'SMOD' saves the whole project as a module file;
// 'PUBL' runs a publisher set.

#include "automate/Automate.hpp"
#include "modules/ModuleFile.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

std::string PathOf(const IO::Location* location) { return location ? location->GetPath() : std::string("(null)"); }

GSErrCode SaveModule(const API_ModuleSavePars* pars)
{
    if (pars == nullptr || pars->file == nullptr) return APIERR_BADPARS;
    return WriteModule(TheProject(), pars->file->GetPath());
}

}  // namespace

GSErrCode ACAPI_Automate(API_AutomateID code, void* par1, void*, void*)
{
    CallContext context;
    context.typeID = code;
    std::string detail = "code=" + std::to_string(code);
    if (code == APIDo_SaveAsModuleFileID && par1 != nullptr) {
        context.name = PathOf(static_cast<const API_ModuleSavePars*>(par1)->file);
        detail += " file=" + *context.name;
    }
    if (code == APIDo_PublishID && par1 != nullptr) {
        context.guid = static_cast<const API_PublishPars*>(par1)->guid;
        detail +=
            " set=" + GuidText(*context.guid) + " path=" + PathOf(static_cast<const API_PublishPars*>(par1)->path);
    }
    ApiCall call("ACAPI_Automate", detail, context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    switch (code) {
    case APIDo_SaveAsModuleFileID: return call.Return(SaveModule(static_cast<const API_ModuleSavePars*>(par1)));
    case APIDo_PublishID:
        call.LogEntry();  // the painter reads the project through the host: keep call order
        return call.Return(RunPublisherSet(static_cast<const API_PublishPars*>(par1)));
    default: return call.Return(APIERR_BADPARS);
    }
}
