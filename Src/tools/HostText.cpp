#include "tools/HostText.hpp"

std::string HostNameText(const GS::UniString& name) { return name.ToCStr(0, MaxUSize, CC_Default, 0).Get(); }

void CopyNameToField(GS::uchar_t* field, size_t capacity, const std::string& text)
{
    const GS::UniString name(text.c_str(), CC_Default);
    GS::ucsncpy(field, name.ToUStr(0, MaxUSize).Get(), capacity);
}

ToolResult HostFailure(const char* prefix, GSErrCode code) { return ToolResult::Fail(prefix + std::to_string(code)); }
