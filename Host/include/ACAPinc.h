#pragma once

// The host's add-on interface: records, error codes and the ACAPI functions. Every function
// runs on the host's main thread and returns 0 (NoError) or one of the APIERR_ codes.

#include <functional>

#include "APIdefs_Attributes.h"
#include "APIdefs_Elements.h"
#include "APIdefs_Environment.h"
#include "APIdefs_Errors.h"
#include "APIdefs_LibParts.h"
#include "GSRoot.hpp"
#include "InputOutput.hpp"

// ---------------------------------------------------------------------------------------------
// Undoable commands. The body runs once, synchronously; 0 makes it one undo step named
// undoName, anything else (or an exception) rolls back what it did. Element changes are
// refused outside a command (APIERR_NEEDSUNDOSCOPE); nested commands are refused.

GSErrCode ACAPI_CallUndoableCommand(const GS::UniString& undoName, const std::function<GSErrCode()>& body);

// ---------------------------------------------------------------------------------------------
// Elements

// Fills the record (and the memo, when given) with the defaults of elem->header.type.typeID.
GSErrCode ACAPI_Element_GetDefaults(API_Element* elem, API_ElementMemo* memo);
// Door and window defaults together with their marker sub-element.
GSErrCode ACAPI_Element_GetDefaultsExt(API_Element* elem, API_ElementMemo* memo, UInt32 nSubElems,
                                       API_SubElement* subElems);

// Creates an element from the record and memo (the memo is copied, not taken); writes the new
// GUID into elem->header.guid.
GSErrCode ACAPI_Element_Create(API_Element* elem, API_ElementMemo* memo);
// Creates a door or window in its owner wall together with its marker.
GSErrCode ACAPI_Element_CreateExt(API_Element* elem, API_ElementMemo* memo, UInt32 nSubElems, API_SubElement* subElems);

// Reads the element named by elem->header.guid.
GSErrCode ACAPI_Element_Get(API_Element* elem, UInt32 mask = 0);
// Copies the element's memo parts into new handles the caller owns.
GSErrCode ACAPI_Element_GetMemo(const API_Guid& guid, API_ElementMemo* memo, UInt64 mask = APIMemoMask_All);

// Changes the flagged fields (see ACAPI_ELEMENT_MASK_SET) of the element named by
// elem->header.guid; a memo replaces the element's polygon. mask may be null.
GSErrCode ACAPI_Element_Change(API_Element* elem, const API_Element* mask, const API_ElementMemo* memo = nullptr,
                               UInt64 memoMask = 0, bool withdel = true);

// Deletes every listed element (and the openings of deleted walls); all or nothing.
GSErrCode ACAPI_Element_Delete(const GS::Array<API_Guid>& guids);

// Appends the GUIDs of every element of the type, on all stories and layers, in creation order.
GSErrCode ACAPI_Element_GetElemList(const API_ElemType& type, GS::Array<API_Guid>* guids,
                                    API_ElemFilterFlags filterBits = 0, const API_Guid& criterionGuid = APINULLGuid);
GSErrCode ACAPI_Element_GetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids,
                                    API_ElemFilterFlags filterBits = 0, const API_Guid& criterionGuid = APINULLGuid);

// Moves, rotates or mirrors the listed elements (or copies of them).
GSErrCode ACAPI_Element_Edit(GS::Array<API_Neig>* items, const API_EditPars& pars);
// Groups or ungroups the listed elements.
GSErrCode ACAPI_Element_Tool(const GS::Array<API_Guid>& guids, API_ToolCmdID command, void* pars = nullptr);

// The selection: its summary and, when selNeigs is given, one entry per selected element in
// selection order. Select adds (add true) or removes (add false) the listed elements, all or
// nothing: an unknown GUID changes nothing. Neither is an undo step.
GSErrCode ACAPI_Selection_Get(API_SelectionInfo* selectionInfo, GS::Array<API_Neig>* selNeigs, bool onlyEditable,
                              bool ignorePartialSelection = true);
GSErrCode ACAPI_Element_Select(const GS::Array<API_Neig>& selNeigs, bool add);
GSErrCode ACAPI_Element_DeselectAll();

// Frees every handle and pointer of the memo and nulls it. Safe on a zero-filled memo.
GSErrCode ACAPI_DisposeElemMemoHdls(API_ElementMemo* memo);

// The marker library part of a door or window type.
GSErrCode ACAPI_Goodies_GetMarkerParent(const API_ElemType& openingType, API_LibPart& markerPart);

// ---------------------------------------------------------------------------------------------
// Library parts

GSErrCode ACAPI_LibPart_GetNum(Int32* count);
GSErrCode ACAPI_LibPart_Get(API_LibPart* libPart);
GSErrCode ACAPI_LibPart_Search(API_LibPart* libPart, bool createIfMissing, bool onlyPlaceable = false);
GSErrCode ACAPI_LibPart_GetParams(Int32 libInd, double* a, double* b, Int32* addParNum, API_AddParType*** addPars);

// ---------------------------------------------------------------------------------------------
// Attributes. Get looks up by index, or by name when the index is 0. Create and Modify work
// inside and outside an undoable command.

GSErrCode ACAPI_Attribute_Get(API_Attribute* attribute);
GSErrCode ACAPI_Attribute_GetNum(API_AttrTypeID typeID, Int32* count);
GSErrCode ACAPI_Attribute_Create(API_Attribute* attribute, API_AttributeDef* defs = nullptr);
GSErrCode ACAPI_Attribute_Modify(API_Attribute* attribute, API_AttributeDef* defs = nullptr);

// ---------------------------------------------------------------------------------------------
// Environment: project information ('PROJ'), story settings ('GSTO', 'CSTO').

GSErrCode ACAPI_Environment(API_EnvironmentID code, void* par1, void* par2 = nullptr, void* par3 = nullptr);

// ---------------------------------------------------------------------------------------------
// Automation: publishing ('PUBL') and module files ('SMOD'). Outside undoable commands.

#include "APIdefs_Automate.h"

GSErrCode ACAPI_Automate(API_AutomateID code, void* par1 = nullptr, void* par2 = nullptr, void* par3 = nullptr);

// ---------------------------------------------------------------------------------------------
// Navigator ('GNSE', 'GNCI', 'GNSN', 'CVPI', 'CHNV'), databases ('NDAT', 'CDAT', 'GCDB') and
// graphic override combinations. Outside undoable commands.

#include "APIdefs_Database.h"
#include "APIdefs_Navigator.h"
#include "APIdefs_Override.h"

GSErrCode ACAPI_Navigator(API_NavigatorID code, void* par1 = nullptr, void* par2 = nullptr, void* par3 = nullptr,
                          void* par4 = nullptr);
GSErrCode ACAPI_Database(API_DatabaseID code, void* par1 = nullptr, void* par2 = nullptr, void* par3 = nullptr);
// Fills the list with the GUID of every combination, in stored order.
GSErrCode ACAPI_Override_GetOverrideCombinationList(GS::Array<API_Guid>& combinations);
// Fills the name (and, when asked, the rule GUIDs) of the combination named by its guid.
GSErrCode ACAPI_Override_GetOverrideCombination(API_OverrideCombination& combination,
                                                GS::Array<API_Guid>* rules = nullptr);

// ---------------------------------------------------------------------------------------------
// Properties and classifications. Groups and definitions in the host's order; an element's
// value of a definition (its default unless the element has its own; APIERR_BADPROPERTY when
// the definition is not available for the element's type); the (system, item) pairs of an
// element's classifications, the systems and their item trees.

#include "APIdefs_Properties.h"

GSErrCode ACAPI_Property_GetPropertyGroups(GS::Array<API_PropertyGroup>& groups);
GSErrCode ACAPI_Property_GetPropertyDefinitions(const API_Guid& groupGuid,
                                                GS::Array<API_PropertyDefinition>& definitions);
GSErrCode ACAPI_Element_GetPropertyValue(const API_Guid& elemGuid, const API_Guid& propertyDefinitionGuid,
                                         API_Property& property);
GSErrCode ACAPI_Element_GetClassificationItems(const API_Guid& elemGuid,
                                               GS::Array<GS::Pair<API_Guid, API_Guid>>& systemItemPairs);
// Reads the item named by item.guid.
GSErrCode ACAPI_Classification_GetClassificationItem(API_ClassificationItem& item);
// Reads the definition named by definition.guid.
GSErrCode ACAPI_Property_GetPropertyDefinition(API_PropertyDefinition& definition);
bool ACAPI_Element_IsPropertyDefinitionAvailable(const API_Guid& elemGuid, const API_Guid& propertyDefinitionGuid);
GSErrCode ACAPI_Classification_GetClassificationSystems(GS::Array<API_ClassificationSystem>& systems);
GSErrCode ACAPI_Classification_GetClassificationSystemRootItems(const API_Guid& systemGuid,
                                                                GS::Array<API_ClassificationItem>& items);
GSErrCode ACAPI_Classification_GetClassificationItemChildren(const API_Guid& itemGuid,
                                                             GS::Array<API_ClassificationItem>& children);
GSErrCode ACAPI_Classification_GetClassificationItemSystem(const API_Guid& itemGuid, API_ClassificationSystem& system);

// Writes, inside an undoable command only. SetProperty stores property.value for the element
// of property.definition.guid: refused with APIERR_BADVALUE when the value's type is not the
// definition's, APIERR_READONLY when the definition cannot be edited, APIERR_BADPROPERTY when
// it is not available for the element. AddClassificationItem puts the element into the item
// (replacing its item of the same system).
GSErrCode ACAPI_Element_SetProperty(const API_Guid& elemGuid, const API_Property& property);
GSErrCode ACAPI_Element_AddClassificationItem(const API_Guid& elemGuid, const API_Guid& classificationItemGuid);
