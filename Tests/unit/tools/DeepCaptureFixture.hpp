#pragma once

// What the deep-capture tests share: the tool run and parsed, the record of an element made
// directly (to see the box and the tracker), and memos built by hand, consistent with their
// records or deliberately not.

#include <vector>

#include "QuillmereTest.hpp"
#include "tools/library/DeepCapture.hpp"

class DeepCaptureTest : public QuillmereTest {
protected:
    // capture_element_detail of an element; the call must succeed.
    json Capture(const API_Guid& guid, bool includeProperties = true)
    {
        const ToolResult result =
            Run("capture_element_detail", {{"element_guid", Text(guid)}, {"include_properties", includeProperties}});
        EXPECT_TRUE(result.success) << result.error;
        return json::parse(result.message, nullptr, false);
    }
    json Data(const API_Guid& guid) { return Capture(guid, false)["data"]; }

    // DeepCaptureElement of the stored element, with a fresh tracker and box kept here.
    json Direct(const API_Guid& guid, bool includeProperties = false)
    {
        tracker = AttrTracker();
        box = BBox();
        return DeepCaptureElement(Read(guid), tracker, box, includeProperties);
    }

    static std::vector<std::string> Keys(const json& object)
    {
        std::vector<std::string> keys;
        for (const auto& item : object.items()) keys.push_back(item.key());
        return keys;
    }

    // A memo handle of the given records (the caller's memo owns it).
    template <typename T>
    static T** Handle(const std::vector<T>& records)
    {
        GSHandle h = BMAllocateHandle(GSSize(records.size() * sizeof(T)), ALLOCATE_CLEAR, 0);
        if (!records.empty()) std::memcpy(*h, records.data(), records.size() * sizeof(T));
        return reinterpret_cast<T**>(h);
    }
    // Stores the element with exactly this memo, consistent with the record or not.
    static API_Guid AddWithMemo(const API_Element& element, const std::vector<API_Coord>& coords,
                                const std::vector<Int32>& pends)
    {
        ScopedMemo memo;
        if (!coords.empty()) memo->coords = Handle(coords);
        if (!pends.empty()) memo->pends = Handle(pends);
        return HostTesting::AddElement(element, memo.get());
    }

    AttrTracker tracker;
    BBox box;
};

// A square of side 2 at the origin as the host stores it: coordinates 1..5, 5 repeating 1.
inline const std::vector<API_Coord> kSquare = {{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}};
