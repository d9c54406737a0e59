#include "tools/HostNames.hpp"

std::string HostNameText(const GS::UniString& name)
{
    return name.ToCStr(0, MaxUSize, CC_Default, 0).Get();
}

void CopyNameToField(GS::uchar_t* field, size_t capacity, const std::string& text)
{
    const GS::UniString name(text.c_str(), CC_Default);
    GS::ucsncpy(field, name.ToUStr(0, MaxUSize).Get(), capacity);
}
