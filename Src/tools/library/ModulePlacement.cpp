#include "tools/library/ModulePlacement.hpp"

#include "tools/HostText.hpp"

namespace {

// The node record and everything the host may hang on it, released on every path.
struct NodeRecord {
    API_HotlinkNode node;

    NodeRecord() { BNClear(node); }
    ~NodeRecord()
    {
        delete node.sourceLocation;
        node.sourceLocation = nullptr;
        delete node.serverSourceLocation;
        node.serverSourceLocation = nullptr;
        BMKillPtr(&node.userData);
    }
    NodeRecord(const NodeRecord&) = delete;
    NodeRecord& operator=(const NodeRecord&) = delete;
};

}  // namespace

GSErrCode PlaceModuleAsElements(const std::string& modulePath, const std::string& displayName)
{
    const IO::Location location(modulePath.c_str());
    NodeRecord record;
    record.node.type = APIHotlink_Module;
    record.node.storyRangeType = APIHotlink_AllStories;
    record.node.sourceLocation = new IO::Location(location);
    CopyNameToField(record.node.name, API_HotlinkNodeNameCapacity, displayName);

    if (GSErrCode err = ACAPI_Database(APIDb_CreateHotlinkNodeID, &record.node, nullptr, nullptr)) return err;
    API_Guid nodeGuid = record.node.guid;

    API_Element element;
    BNClear(element);
    element.header.type.typeID = API_HotlinkID;
    element.header.layer = 1;
    element.hotlink.type = APIHotlink_Module;
    element.hotlink.hotlinkNodeGuid = nodeGuid;
    element.hotlink.transformation.tmx[0] = 1.0;
    element.hotlink.transformation.tmx[5] = 1.0;
    element.hotlink.transformation.tmx[10] = 1.0;
    if (GSErrCode err = ACAPI_Element_Create(&element, nullptr)) {
        ACAPI_Database(APIDb_DeleteHotlinkNodeID, &nodeGuid, nullptr, nullptr);
        return err;
    }
    return ACAPI_Database(APIDb_BreakHotlinkNodeID, &nodeGuid, nullptr, nullptr);
}
