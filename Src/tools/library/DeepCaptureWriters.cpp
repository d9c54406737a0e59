// The data writer every deep-capture writer uses for points, pens, attribute pairs, library
// parts and polygons.
#include "tools/library/DeepCaptureWriters.hpp"

#include <string>

namespace DeepCaptureData {

void DataWriter::Attribute(const char* key, API_AttrTypeID type, Int32 index)
{
    data_[key] = ResolveAttrName(type, index);
    data_[std::string(key) + "_index"] = index;
    tracker_.Add(type, index);
}

void DataWriter::Pen(const char* key, Int16 pen)
{
    data_[key] = pen;
    tracker_.AddPen(pen);
}

void DataWriter::LibraryPart(Int32 libInd)
{
    data_["library_part"] = ResolveLibPartName(libInd);
    data_["library_part_index"] = libInd;
}

bool HasPolygon(const API_ElementMemo& memo) { return memo.coords != nullptr && memo.pends != nullptr; }

bool DataWriter::Polygon(const char* key, const API_ElementMemo& memo, const API_Polygon& poly, bool extendBox)
{
    if (!HasPolygon(memo)) return false;
    json contours = ExtractPolygon(memo, poly);
    if (extendBox)
        for (const json& contour : contours)
            for (const json& vertex : contour)
                if (vertex.is_array() && vertex.size() >= 2 && vertex[0].is_number() && vertex[1].is_number())
                    box_.Extend(vertex[0].get<double>(), vertex[1].get<double>());
    data_[key] = std::move(contours);
    return true;
}

}  // namespace DeepCaptureData
