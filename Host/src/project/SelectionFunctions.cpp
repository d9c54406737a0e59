// The user's selection through the add-on interface: read it, add or remove elements, clear
// it. A change of selection moves the project's revision on so that the window redraws.
#include "project/Project.hpp"
#include "project/ProjectRevision.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

GSErrCode ACAPI_Selection_Get(API_SelectionInfo* selectionInfo, GS::Array<API_Neig>* selNeigs, bool, bool)
{
    ApiCall call("ACAPI_Selection_Get", "");
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (selectionInfo == nullptr) return call.Return(APIERR_BADPARS);
    const Selection& selection = TheProject().Selected();
    BNClear(*selectionInfo);
    selectionInfo->typeID = selection.Count() == 0 ? API_SelEmpty : API_SelElems;
    selectionInfo->sel_nElem = Int32(selection.Count());
    selectionInfo->sel_nElemEdit = Int32(selection.Count());
    if (selNeigs != nullptr) {
        selNeigs->Clear();
        for (const API_Guid& guid : selection.InOrder()) {
            API_Neig neig;
            BNClear(neig);
            neig.guid = guid;
            selNeigs->Push(neig);
        }
    }
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_Select(const GS::Array<API_Neig>& selNeigs, bool add)
{
    ApiCall call("ACAPI_Element_Select", "count=" + std::to_string(selNeigs.GetSize()) + (add ? " add" : " remove"));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    // All or nothing: every entry must name an element before the selection changes.
    for (const API_Neig& neig : selNeigs)
        if (project.FindElement(neig.guid) == nullptr) return call.Return(APIERR_BADID);
    Selection& selection = project.Selected();
    for (const API_Neig& neig : selNeigs) {
        if (add)
            selection.Add(neig.guid);
        else
            selection.Remove(neig.guid);
    }
    if (selNeigs.GetSize() > 0) NoteProjectChange();
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_DeselectAll()
{
    ApiCall call("ACAPI_Element_DeselectAll", "");
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Selection& selection = TheProject().Selected();
    if (selection.Count() > 0) {
        selection.Clear();
        NoteProjectChange();
    }
    return call.Return(NoError);
}
