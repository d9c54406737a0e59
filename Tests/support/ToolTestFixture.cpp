#include "ToolTestFixture.hpp"

#include <ostream>

#include "core/ElementFunctions.hpp"

void ToolTestFixture::SetUp()
{
    HostTesting::ResetProject();
    baselineHandles = HostTesting::LiveHandleCount();
    baselineLocations = HostTesting::LiveLocationCount();
}

void ToolTestFixture::TearDown()
{
    EXPECT_EQ(HostTesting::LiveHandleCount(), baselineHandles) << "memory handles leaked or freed twice";
    EXPECT_EQ(HostTesting::LiveLocationCount(), baselineLocations) << "file locations leaked";
    EXPECT_EQ(HostTesting::BadFreeCount(), 0) << "a handle the host never handed out was freed";
    HostTesting::ClearFailures();
}

ToolResult ToolTestFixture::Run(const std::string& tool, const nlohmann::json& input)
{
    return registry.ExecuteTool(tool, input);
}

ToolResult ToolTestFixture::RunText(const std::string& tool, const std::string& inputText)
{
    nlohmann::json input = nlohmann::json::parse(inputText, nullptr, false);
    EXPECT_FALSE(input.is_discarded()) << "test input is not JSON: " << inputText;
    return registry.ExecuteTool(tool, input);
}

std::vector<std::string> ToolTestFixture::UndoSteps() const
{
    return HostTesting::UndoStepNames();
}

size_t ToolTestFixture::UndoStepCount() const
{
    return HostTesting::UndoStepNames().size();
}

bool ToolTestFixture::UndoLast()
{
    return HostTesting::Undo() == NoError;
}

API_Element ToolTestFixture::Element(const std::string& guidText) const
{
    API_Element element;
    BNClear(element);
    EXPECT_TRUE(HostTesting::GetElement(Guid(guidText), &element)) << "no element " << guidText;
    return element;
}

API_Guid ToolTestFixture::Guid(const std::string& guidText)
{
    return GSGuid2APIGuid(GS::Guid(guidText.c_str()));
}

size_t ToolTestFixture::FirstDifference(const API_Element& a, const API_Element& b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(&a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(&b);
    for (size_t i = 0; i < sizeof(API_Element); ++i)
        if (x[i] != y[i])
            return i;
    return sizeof(API_Element);
}

std::string ToolTestFixture::Text(const API_Guid& guid)
{
    return GuidToStr(guid);
}

ToolTestFixture::Footprint ToolTestFixture::TakeFootprint() const
{
    return Footprint {HostTesting::ElementCount(), HostTesting::UndoStepNames().size()};
}

void PrintTo(const ToolResult& result, std::ostream* os)
{
    *os << result.toJson();
}
