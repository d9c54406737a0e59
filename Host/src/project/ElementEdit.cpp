// Dragging, rotating and mirroring elements (ACAPI_Element_Edit) and grouping them
// (ACAPI_Element_Tool).

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "ACAPinc.h"
#include "gs/GuidSource.hpp"
#include "library/Library.hpp"
#include "project/ElementChecks.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

namespace HostInternal {
namespace {

// One rigid plane transform, applied alike to every point, direction and angle an element holds.
// Remembers whether any result left the finite range, so that an edit never stores infinities.
class PlaneTransform {
public:
    static PlaneTransform Translation(double dx, double dy)
    {
        PlaneTransform t;
        t.tx_ = dx;
        t.ty_ = dy;
        return t;
    }

    // Turns counter-clockwise by angle about (ox, oy).
    static PlaneTransform Rotation(double ox, double oy, double angle)
    {
        PlaneTransform t;
        const double c = std::cos(angle), s = std::sin(angle);
        t.m00_ = c;
        t.m01_ = -s;
        t.m10_ = s;
        t.m11_ = c;
        t.tx_ = ox - (c * ox - s * oy);
        t.ty_ = oy - (s * ox + c * oy);
        t.angleOffset_ = angle;
        return t;
    }

    // Reflects across the line through (ox, oy) whose direction has the angle theta.
    static PlaneTransform Mirror(double ox, double oy, double theta)
    {
        PlaneTransform t;
        const double c = std::cos(2.0 * theta), s = std::sin(2.0 * theta);
        t.m00_ = c;
        t.m01_ = s;
        t.m10_ = s;
        t.m11_ = -c;
        t.tx_ = ox - (c * ox + s * oy);
        t.ty_ = oy - (s * ox - c * oy);
        t.angleOffset_ = 2.0 * theta;
        t.reflects_ = true;
        return t;
    }

    void Point(API_Coord& p) const
    {
        const double x = m00_ * p.x + m01_ * p.y + tx_;
        const double y = m10_ * p.x + m11_ * p.y + ty_;
        p.x = Checked(x);
        p.y = Checked(y);
    }

    void Direction(API_Coord& v) const
    {
        const double x = m00_ * v.x + m01_ * v.y;
        const double y = m10_ * v.x + m11_ * v.y;
        v.x = Checked(x);
        v.y = Checked(y);
    }

    // The angle of a direction, measured counter-clockwise from the x axis.
    double Angle(double angle) const { return Checked(reflects_ ? angleOffset_ - angle : angle + angleOffset_); }

    // A 3 x 4 placement matrix: the plane part is composed with this transform.
    void Matrix(API_Tranmat& m) const
    {
        double* r = m.tmx;
        for (int col = 0; col < 4; ++col) {
            const double a = r[col], b = r[4 + col];
            r[col] = Checked(m00_ * a + m01_ * b + (col == 3 ? tx_ : 0.0));
            r[4 + col] = Checked(m10_ * a + m11_ * b + (col == 3 ? ty_ : 0.0));
        }
    }

    bool Reflects() const { return reflects_; }
    bool Overflowed() const { return overflowed_; }

private:
    double Checked(double value) const
    {
        if (!std::isfinite(value)) overflowed_ = true;
        return value;
    }

    double m00_ = 1.0, m01_ = 0.0, m10_ = 0.0, m11_ = 1.0, tx_ = 0.0, ty_ = 0.0;
    double angleOffset_ = 0.0;
    bool reflects_ = false;
    mutable bool overflowed_ = false;
};

bool IsFinite(const API_Coord& p) { return std::isfinite(p.x) && std::isfinite(p.y); }
bool IsFinite(const API_Coord3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// The transform the edit record asks for; BADPARS for an unknown edit or degenerate points.
GSErrCode TransformFromPars(const API_EditPars& pars, PlaneTransform& transform)
{
    if (!IsFinite(pars.origC) || !IsFinite(pars.begC) || !IsFinite(pars.endC)) return APIERR_BADPARS;
    switch (pars.typeID) {
    case APIEdit_Drag:
        transform = PlaneTransform::Translation(pars.endC.x - pars.begC.x, pars.endC.y - pars.begC.y);
        return NoError;
    case APIEdit_Rotate: {
        const double bx = pars.begC.x - pars.origC.x, by = pars.begC.y - pars.origC.y;
        const double ex = pars.endC.x - pars.origC.x, ey = pars.endC.y - pars.origC.y;
        if ((bx == 0.0 && by == 0.0) || (ex == 0.0 && ey == 0.0)) return APIERR_BADPARS;
        // The signed angle from the begin direction to the end direction.
        const double angle = std::atan2(bx * ey - by * ex, bx * ex + by * ey);
        transform = PlaneTransform::Rotation(pars.origC.x, pars.origC.y, angle);
        return NoError;
    }
    case APIEdit_Mirror: {
        const double ax = pars.endC.x - pars.origC.x, ay = pars.endC.y - pars.origC.y;
        if (ax == 0.0 && ay == 0.0) return APIERR_BADPARS;
        transform = PlaneTransform::Mirror(pars.origC.x, pars.origC.y, std::atan2(ay, ax));
        return NoError;
    }
    }
    return APIERR_BADPARS;
}

// ---- memo parts ------------------------------------------------------------------------------

void TransformCoordPart(StoredMemo& memo, MemoPart part, const PlaneTransform& t)
{
    if (!memo.Has(part)) return;
    std::vector<API_Coord> coords = memo.Records<API_Coord>(part);
    // Slot 0 carries no vertex.
    for (size_t i = 1; i < coords.size(); ++i) t.Point(coords[i]);
    memo.SetRecords(part, coords);
}

void TransformPolygon(StoredMemo& memo, const PlaneTransform& t)
{
    TransformCoordPart(memo, MemoCoords, t);
    // A mirror turns every arc edge the other way round.
    if (t.Reflects() && memo.Has(MemoParcs)) {
        std::vector<API_PolyArc> arcs = memo.Records<API_PolyArc>(MemoParcs);
        for (API_PolyArc& arc : arcs) arc.arcAngle = -arc.arcAngle;
        memo.SetRecords(MemoParcs, arcs);
    }
}

void TransformDimensionPoints(StoredMemo& memo, const PlaneTransform& t)
{
    if (!memo.Has(MemoDimElems)) return;
    std::vector<API_DimElem> elems = memo.Records<API_DimElem>(MemoDimElems);
    for (API_DimElem& elem : elems) t.Point(elem.base.loc);
    memo.SetRecords(MemoDimElems, elems);
}

void TransformSplineDirections(StoredMemo& memo, const PlaneTransform& t)
{
    if (!memo.Has(MemoBezierDirs)) return;
    std::vector<API_SplineDir> dirs = memo.Records<API_SplineDir>(MemoBezierDirs);
    for (API_SplineDir& dir : dirs) dir.dirAng = t.Angle(dir.dirAng);
    memo.SetRecords(MemoBezierDirs, dirs);
}

// ---- records -----------------------------------------------------------------------------------

bool IsOpening(Int32 typeID) { return typeID == API_WindowID || typeID == API_DoorID; }

// Doors and windows share one layout, so either member reads both.
static_assert(offsetof(API_Element, window.owner) == offsetof(API_Element, door.owner), "opening layout");
static_assert(offsetof(API_Element, window.openingBase.reflected) == offsetof(API_Element, door.openingBase.reflected),
              "opening layout");

// The copy of an opening carries the marker of its source.
void CopyMarker(Project& project, const API_Guid& source, const API_Guid& copy)
{
    auto marker = Markers().find(source);
    if (marker == Markers().end()) return;
    const StoredMarker kept = marker->second;
    Markers()[copy] = kept;
    project.RecordUndo([copy] { Markers().erase(copy); }, [copy, kept] { Markers()[copy] = kept; });
}

// Whether the edit knows every geometric field of the type.
bool IsEditable(Int32 typeID)
{
    switch (typeID) {
    case API_WallID:
    case API_ColumnID:
    case API_BeamID:
    case API_ObjectID:
    case API_SlabID:
    case API_RoofID:
    case API_DimensionID:
    case API_TextID:
    case API_ZoneID:
    case API_HatchID:
    case API_LineID:
    case API_PolyLineID:
    case API_ArcID:
    case API_SplineID:
    case API_HotspotID:
    case API_HotlinkID: return true;
    default: return false;
    }
}

// Moves every geometric field of the record and its memo. memo may be null when the element
// has none.
void TransformElement(API_Element& e, StoredMemo* memo, const PlaneTransform& t)
{
    StoredMemo none;
    StoredMemo& m = memo != nullptr ? *memo : none;
    switch (e.header.type.typeID) {
    case API_WallID:
        t.Point(e.wall.begC);
        t.Point(e.wall.endC);
        // The wall keeps its direction, so its thickness must change side under a mirror.
        if (t.Reflects()) e.wall.flipped = !e.wall.flipped;
        TransformPolygon(m, t);
        break;
    case API_ColumnID:
        t.Point(e.column.origoPos);
        e.column.axisRotationAngle = t.Angle(e.column.axisRotationAngle);
        e.column.slantDirectionAngle = t.Angle(e.column.slantDirectionAngle);
        break;
    case API_BeamID:
        t.Point(e.beam.begC);
        t.Point(e.beam.endC);
        break;
    case API_ObjectID:
        t.Point(e.object.pos);
        e.object.angle = t.Angle(e.object.angle);
        if (t.Reflects()) e.object.reflected = !e.object.reflected;
        break;
    case API_SlabID: TransformPolygon(m, t); break;
    case API_RoofID:
        TransformPolygon(m, t);
        TransformCoordPart(m, MemoPivotCoords, t);
        t.Point(e.roof.planeRoof.baseLine.c1);
        t.Point(e.roof.planeRoof.baseLine.c2);
        // The roof rises on one side of its directed base line; keep that side under a mirror.
        if (t.Reflects()) std::swap(e.roof.planeRoof.baseLine.c1, e.roof.planeRoof.baseLine.c2);
        break;
    case API_DimensionID:
        t.Point(e.dimension.refC);
        t.Direction(e.dimension.direction);
        TransformDimensionPoints(m, t);
        break;
    case API_TextID:
        t.Point(e.text.loc);
        e.text.angle = t.Angle(e.text.angle);
        break;
    case API_ZoneID:
        t.Point(e.zone.pos);
        TransformPolygon(m, t);
        break;
    case API_HatchID: TransformPolygon(m, t); break;
    case API_LineID:
        t.Point(e.line.begC);
        t.Point(e.line.endC);
        break;
    case API_PolyLineID: TransformPolygon(m, t); break;
    case API_ArcID: {
        t.Point(e.arc.origC);
        e.arc.angle = t.Angle(e.arc.angle);
        const double beg = t.Angle(e.arc.begAng);
        const double end = t.Angle(e.arc.endAng);
        // Arcs run counter-clockwise from begin to end; a mirror reverses the run.
        e.arc.begAng = t.Reflects() ? end : beg;
        e.arc.endAng = t.Reflects() ? beg : end;
        break;
    }
    case API_SplineID:
        TransformCoordPart(m, MemoCoords, t);
        TransformSplineDirections(m, t);
        break;
    case API_HotspotID: t.Point(e.hotspot.pos); break;
    case API_HotlinkID: t.Matrix(e.hotlink.transformation); break;
    default: break;
    }
}

// One element's result, worked out before anything is stored.
struct EditResult {
    API_Guid source;
    API_Element record;
    MemoPtr memo;
};

// The transformed record and memo of one stored element, refused (APIERR_BADPARS, or the code
// a create or change would give) when any value overflowed or the result is an element the
// host would not store: an edit may not make, say, a zero-length wall out of a huge rotation,
// or leave a door past the end of its wall.
GSErrCode Transformed(const Project& project, const API_Guid& guid, const PlaneTransform& t, EditResult& result)
{
    const StoredElement& source = *project.FindElement(guid);
    PlaneTransform check = t;  // a fresh overflow flag for this element
    result.source = guid;
    result.record = source.record;
    StoredMemo newMemo = source.memo ? *source.memo : StoredMemo();
    TransformElement(result.record, &newMemo, check);
    if (check.Overflowed()) return APIERR_BADPARS;
    if (GSErrCode code = CheckElement(project, result.record, newMemo)) return code;
    if (result.record.header.type.typeID == API_WallID)
        if (GSErrCode code = CheckOpeningsFit(project, result.record)) return code;
    result.memo = source.memo ? std::make_shared<const StoredMemo>(std::move(newMemo)) : MemoPtr();
    return NoError;
}

GSErrCode CheckEditable(const Project& project, const API_Guid& guid)
{
    const StoredElement* element = project.FindElement(guid);
    if (element == nullptr) return APIERR_BADID;
    const Int32 typeID = element->record.header.type.typeID;
    // Doors and windows sit in their wall; they move with it, not on their own.
    if (IsOpening(typeID)) return APIERR_BADPARS;
    if (!IsEditable(typeID)) return APIERR_BADELEMENTTYPE;
    return NoError;
}

void EditInPlace(Project& project, const EditResult& result, const PlaneTransform& t)
{
    StoredElement* element = project.ElementForChange(result.source);
    element->record = result.record;
    element->memo = result.memo;
    // The openings of a wall keep their distance along it; only their hinge side follows a mirror.
    if (t.Reflects() && result.record.header.type.typeID == API_WallID) {
        for (const API_Guid& openingGuid : project.Elements().DependentsOf(result.source)) {
            StoredElement* opening = project.ElementForChange(openingGuid);
            if (opening != nullptr && IsOpening(opening->record.header.type.typeID))
                opening->record.window.openingBase.reflected = !opening->record.window.openingBase.reflected;
        }
    }
}

// Adds a transformed copy with a new GUID, and copies of a wall's openings in the new wall.
API_Guid EditCopy(Project& project, const EditResult& result, const PlaneTransform& t)
{
    API_Element record = result.record;
    record.header.guid = APINULLGuid;
    // A copy belongs to no group: the group is made of the elements that were grouped.
    record.header.groupGuid = APINULLGuid;
    const API_Guid copyGuid = project.InsertElement(record, result.memo);

    if (record.header.type.typeID == API_WallID) {
        for (const API_Guid& openingGuid : project.Elements().DependentsOf(result.source)) {
            const StoredElement* opening = project.FindElement(openingGuid);
            if (opening == nullptr || !IsOpening(opening->record.header.type.typeID)) continue;
            API_Element openingRecord = opening->record;
            openingRecord.header.guid = APINULLGuid;
            openingRecord.header.groupGuid = APINULLGuid;
            openingRecord.window.owner = copyGuid;
            if (t.Reflects()) openingRecord.window.openingBase.reflected = !openingRecord.window.openingBase.reflected;
            const API_Guid openingCopy = project.InsertElement(openingRecord, opening->memo);
            CopyMarker(project, openingGuid, openingCopy);
        }
    }
    return copyGuid;
}

}  // namespace
}  // namespace HostInternal

using namespace HostInternal;

namespace {

CallContext GuidContext(const API_Guid& guid)
{
    CallContext context;
    context.guid = guid;
    return context;
}

// A point as the call log shows it, with every digit a double holds, so that a test can tell
// which exact edit record a tool sent.
std::string PointText(double x, double y)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%.17g,%.17g)", x, y);
    return text;
}

}  // namespace

GSErrCode ACAPI_Element_Edit(GS::Array<API_Neig>* items, const API_EditPars& pars)
{
    const std::string detail = "edit=" + std::to_string(pars.typeID) + " withDelete=" + (pars.withDelete ? "1" : "0") +
                               " count=" + std::to_string(items != nullptr ? items->GetSize() : 0) +
                               " orig=" + PointText(pars.origC.x, pars.origC.y) +
                               " beg=" + PointText(pars.begC.x, pars.begC.y) +
                               " end=" + PointText(pars.endC.x, pars.endC.y);
    CallContext context;
    if (items != nullptr && items->GetSize() == 1) context.guid = (*items)[0].guid;
    ApiCall call("ACAPI_Element_Edit", detail, context);
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (items != nullptr)
        for (const API_Neig& item : *items)
            if (GSErrCode injected = call.InjectedFor(GuidContext(item.guid))) return call.Return(injected);

    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    if (items == nullptr || items->IsEmpty()) return call.Return(APIERR_BADPARS);

    PlaneTransform transform;
    if (GSErrCode err = TransformFromPars(pars, transform); err != NoError) return call.Return(err);

    // All or nothing: every listed element must be editable before any is touched.
    std::set<API_Guid> seen;
    for (const API_Neig& item : *items) {
        if (GSErrCode err = CheckEditable(project, item.guid); err != NoError) return call.Return(err);
        if (!seen.insert(item.guid).second) return call.Return(APIERR_BADPARS);
    }

    // Every result passes the host's element checks before any element changes.
    std::vector<EditResult> results(items->GetSize());
    for (USize i = 0; i < items->GetSize(); ++i)
        if (GSErrCode err = Transformed(project, (*items)[i].guid, transform, results[i]); err != NoError)
            return call.Return(err);

    for (USize i = 0; i < items->GetSize(); ++i) {
        if (pars.withDelete)
            EditInPlace(project, results[i], transform);
        else
            (*items)[i].guid = EditCopy(project, results[i], transform);
    }
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_Tool(const GS::Array<API_Guid>& guids, API_ToolCmdID command, void*)
{
    ApiCall call("ACAPI_Element_Tool", "tool=" + std::to_string(command) + " count=" + std::to_string(guids.GetSize()));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    for (const API_Guid& guid : guids)
        if (GSErrCode injected = call.InjectedFor(GuidContext(guid))) return call.Return(injected);

    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    if (command != APITool_Group && command != APITool_Ungroup) return call.Return(APIERR_BADPARS);

    std::set<API_Guid> distinct;
    for (const API_Guid& guid : guids) {
        if (project.FindElement(guid) == nullptr) return call.Return(APIERR_BADID);
        distinct.insert(guid);
    }

    if (command == APITool_Group) {
        if (distinct.size() < 2) return call.Return(APIERR_BADPARS);
        const API_Guid group = NextGuid();
        for (const API_Guid& guid : distinct) project.SetElementGroup(guid, group);
        return call.Return(NoError);
    }

    // Ungrouping dissolves every group a listed element belongs to, for all its members.
    std::set<API_Guid> groups;
    for (const API_Guid& guid : distinct) {
        const API_Guid group = project.FindElement(guid)->record.header.groupGuid;
        if (group != APINULLGuid) groups.insert(group);
    }
    for (const API_Guid& group : groups)
        for (const API_Guid& member : project.Elements().MembersOf(group)) project.SetElementGroup(member, APINULLGuid);
    return call.Return(NoError);
}
