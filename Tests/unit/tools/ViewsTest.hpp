#pragma once
// Ground shared by the view and export tool tests: none of these tools may open an undo step,
// so every test ends by checking that the undo history stayed empty; failure tables check the
// exact error text and which host calls were made.
#include <string>
#include <tuple>
#include <vector>

#include "HostTestingNavigator.hpp"
#include "QuillmereTest.hpp"

class ViewsTest : public QuillmereTest {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(UndoSteps().empty()) << "a documentation tool opened an undo step";
        EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), 0);
        QuillmereTest::TearDown();
    }

    struct Failure {
        const char* tool;
        json input;
        std::string error;
        std::vector<std::string> calls;  // host functions reached, in order ("" entries: none)
    };
    void ExpectFailures(const std::vector<Failure>& cases)
    {
        for (const Failure& c : cases) {
            SCOPED_TRACE(std::string(c.tool) + " " + c.input.dump());
            HostTesting::ClearCallLog();
            const ToolResult r = Run(c.tool, c.input);
            EXPECT_EQ(std::tie(r.success, r.error, r.elementGuid, r.message), std::make_tuple(false, c.error, "", ""));
            EXPECT_EQ(CallDetails(), c.calls);
        }
    }
    // "function detail" of each host call since the log was cleared.
    static std::vector<std::string> CallDetails()
    {
        std::vector<std::string> out;
        for (const auto& call : HostTesting::CallLog()) out.push_back(call.function + " " + call.detail);
        return out;
    }
    static void Inject(const std::string& function, GSErrCode code, std::optional<Int32> typeID = std::nullopt,
                       std::optional<std::string> name = std::nullopt, std::optional<API_Guid> guid = std::nullopt,
                       std::optional<Int32> index = std::nullopt)
    {
        HostTesting::InjectFailure(HostTesting::FailureRule{function, code, 0, -1, guid, typeID, index, name});
    }
    static std::string Lower(std::string text)
    {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }
};

constexpr Int32 kGNSE = APINavigator_GetNavigatorSetID;
constexpr Int32 kGNCI = APINavigator_GetNavigatorChildrenItemsID;
constexpr Int32 kGNSN = APINavigator_GetNavigatorSetNumID;
constexpr Int32 kCVPI = APINavigator_CreateNavigatorVPItemID;
