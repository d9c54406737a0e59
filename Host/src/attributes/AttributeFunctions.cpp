// Attribute tables: lookup by index or (with index 0) by name, count, create and modify.
// Create and Modify work outside an undoable command as well; inside one they are part of
// the step.

#include <cmath>

#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

std::string AttrDetail(const API_Attribute* a)
{
    if (a == nullptr) return "null";
    return "type=" + std::to_string(a->header.typeID) + " index=" + std::to_string(a->header.index);
}

CallContext AttrContext(const API_Attribute* a)
{
    CallContext c;
    if (a == nullptr) return c;
    c.typeID = a->header.typeID;
    c.index = a->header.index;
    c.name = std::string(a->header.name, strnlen(a->header.name, sizeof a->header.name));
    return c;
}

bool ValidUnit(double v) { return std::isfinite(v) && v >= 0.0 && v <= 1.0; }

// Colour components are fractions from 0 to 1, and a pen's width is not negative.
bool ValidColourData(const API_Attribute& a)
{
    if (a.header.typeID == API_PenID) {
        const API_PenType& pen = a.pen;
        return ValidUnit(pen.rgb.f_red) && ValidUnit(pen.rgb.f_green) && ValidUnit(pen.rgb.f_blue) &&
               std::isfinite(pen.width) && pen.width >= 0.0;
    }
    if (a.header.typeID == API_MaterialID) {
        const API_RGBColor& c = a.material.surfaceRGB;
        return ValidUnit(c.f_red) && ValidUnit(c.f_green) && ValidUnit(c.f_blue);
    }
    return true;
}

bool HasName(const API_Attribute& a) { return a.header.name[0] != '\0'; }

void TerminateName(API_Attribute& a) { a.header.name[sizeof a.header.name - 1] = '\0'; }

}  // namespace

GSErrCode ACAPI_Attribute_Get(API_Attribute* attribute)
{
    ApiCall call("ACAPI_Attribute_Get", AttrDetail(attribute), AttrContext(attribute));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (attribute == nullptr) return call.Return(APIERR_BADPARS);
    const Int32 typeID = attribute->header.typeID, index = attribute->header.index;
    if (!IsAttributeType(typeID)) return call.Return(APIERR_BADID);
    Project& project = TheProject();

    const StoredAttribute* found = nullptr;
    if (index == 0) {
        if (!HasName(*attribute)) return call.Return(APIERR_BADINDEX);
        TerminateName(*attribute);
        found = project.FindAttributeByName(typeID, attribute->header.name);
        if (found == nullptr) return call.Return(APIERR_BADNAME);
    } else {
        if (index < 1 || index > project.Attributes(typeID).Count()) return call.Return(APIERR_BADINDEX);
        found = project.FindAttribute(typeID, index);
        if (found == nullptr || found->deleted) return call.Return(APIERR_DELETED);
    }
    *attribute = found->record;
    return call.Return(NoError);
}

GSErrCode ACAPI_Attribute_GetNum(API_AttrTypeID typeID, Int32* count)
{
    CallContext context;
    context.typeID = typeID;
    ApiCall call("ACAPI_Attribute_GetNum", "type=" + std::to_string(typeID), context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (count == nullptr) return call.Return(APIERR_BADPARS);
    if (!IsAttributeType(typeID)) return call.Return(APIERR_BADID);
    *count = TheProject().Attributes(typeID).Count();
    return call.Return(NoError);
}

GSErrCode ACAPI_Attribute_Create(API_Attribute* attribute, API_AttributeDef*)
{
    ApiCall call("ACAPI_Attribute_Create", AttrDetail(attribute), AttrContext(attribute));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (attribute == nullptr) return call.Return(APIERR_BADPARS);
    const Int32 typeID = attribute->header.typeID;
    // The pen table is fixed (1 to 255): pens are modified, never created.
    if (!IsAttributeType(typeID) || typeID == API_PenID) return call.Return(APIERR_BADID);
    if (!HasName(*attribute)) return call.Return(APIERR_BADNAME);
    TerminateName(*attribute);
    Project& project = TheProject();
    if (const StoredAttribute* existing = project.FindAttributeByName(typeID, attribute->header.name)) {
        attribute->header.index = existing->record.header.index;
        return call.Return(APIERR_ATTREXIST);
    }
    if (!ValidColourData(*attribute)) return call.Return(APIERR_BADPARS);
    if (project.Attributes(typeID).Count() >= AttributeTable::kMaxIndex) return call.Return(APIERR_MEMFULL);
    API_Attribute record = *attribute;
    record.header.index = project.Attributes(typeID).Count() + 1;
    if (APIGuid2GSGuid(record.header.guid).IsNull())
        record.header.guid = GSGuid2APIGuid([] {
            GS::Guid g;
            g.Generate();
            return g;
        }());
    project.PutAttribute(record);
    *attribute = record;
    return call.Return(project.NoteShownChange(NoError));
}

GSErrCode ACAPI_Attribute_Modify(API_Attribute* attribute, API_AttributeDef*)
{
    ApiCall call("ACAPI_Attribute_Modify", AttrDetail(attribute), AttrContext(attribute));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (attribute == nullptr) return call.Return(APIERR_BADPARS);
    const Int32 typeID = attribute->header.typeID, index = attribute->header.index;
    if (!IsAttributeType(typeID)) return call.Return(APIERR_BADID);
    Project& project = TheProject();
    const StoredAttribute* current = project.FindAttribute(typeID, index);
    if (index < 1 || current == nullptr) return call.Return(APIERR_BADINDEX);
    if (current->deleted) return call.Return(APIERR_DELETED);
    if (!HasName(*attribute)) return call.Return(APIERR_BADNAME);
    TerminateName(*attribute);
    const StoredAttribute* sameName = project.FindAttributeByName(typeID, attribute->header.name);
    if (sameName != nullptr && sameName->record.header.index != index) return call.Return(APIERR_ATTREXIST);
    if (!ValidColourData(*attribute)) return call.Return(APIERR_BADPARS);
    API_Attribute record = *attribute;
    record.header.guid = current->record.header.guid;
    StoredAttribute* target = project.AttributeForChange(typeID, index);
    target->record = record;
    return call.Return(project.NoteShownChange(NoError));
}
