// The render tool's side of a job: its definition, the start request as the service receives
// it, the capture of the host's window it sends, and every way a start fails without leaving
// a file, a request or a poll behind.
#include <clocale>
#include <locale>

#include "RenderToolsTest.hpp"

namespace {

struct PngSize {
    bool png = false;
    unsigned width = 0, height = 0;
};

PngSize ReadPngSize(const std::string& bytes)
{
    static const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
    PngSize size;
    if (bytes.size() < 24 || bytes.compare(0, 8, kSignature) != 0 || bytes.compare(12, 4, "IHDR") != 0) return size;
    auto be32 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    return {true, be32(16), be32(20)};
}

// A decimal comma, as some host locales print numbers.
struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

}  // namespace

TEST_F(RenderToolsTest, TheStartRequestCarriesTheFieldsInOrderAndTheWindowAsAPng)
{
    struct Case {
        json input;
        std::vector<std::string> fields;  // format, preset, prompt, strength
    };
    const std::vector<Case> cases = {
        {json::object(), {"png", "photoreal", "", "0.650000"}},
        {{{"preset", "clay"}, {"prompt", "dusk, warm light"}}, {"png", "clay", "dusk, warm light", "0.650000"}},
        {{{"strength", 1.7}}, {"png", "photoreal", "", "1.000000"}},
    };
    HostTesting::AddWall(0, 0, 6, 0, HostTesting::CurrentStory());
    service.Script("GET /render/status", Json({{"status", "done"}}));
    service.Script("GET /render/result", Json({{"image_url", "https://cdn.test/r.png"}}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        service.ClearRequests();
        service.Script("POST /render/start", Json({{"job_id", "job-7"}, {"status", "queued"}}, 201));
        const ToolResult result = Run("render_current_view", c.input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message,
                  json({{"job_id", "job-7"},
                        {"message", "Render submitted (" + c.fields[1] + "). Preview will appear when ready."},
                        {"status", "processing"}})
                      .dump());
        EXPECT_TRUE(TmpEmpty()) << "the capture outlived its request";

        const FakeProductService::Request start = service.Requests().at(0);
        EXPECT_EQ(start.Route() + start.Header("X-Quillmere-Dev") + start.Header("Authorization"),
                  "POST /render/start1");
        ASSERT_TRUE(start.multipartWellFormed);
        ASSERT_EQ(start.parts.size(), 5u);
        const char* names[] = {"format", "preset", "prompt", "strength"};
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(std::make_tuple(start.parts[i].name, start.parts[i].hasFilename, start.parts[i].content),
                      std::make_tuple(std::string(names[i]), false, c.fields[i]));
        const FakeProductService::Part& image = start.parts[4];
        EXPECT_EQ(image.name + " " + image.filename + " " + image.contentType, "image " + CaptureName() + " image/png");
        const PngSize size = ReadPngSize(image.content);
        EXPECT_TRUE(size.png) << "the file part is not a PNG";
        EXPECT_EQ(std::make_pair(size.width, size.height), std::make_pair(1200u, 800u)) << "not the main window";
        WaitForPolls();
    }
    // Each job was followed and reported once.
    EXPECT_EQ(reports.size(), cases.size());
}

TEST_F(RenderToolsTest, TheKeyWindowStandsInForAMissingMainWindowAndTheStrengthIgnoresTheLocale)
{
    HostTesting::SetMainWindow(std::nullopt);
    HostTesting::SetKeyWindow(HostTesting::WindowSize{420, 720});
    service.Script("POST /render/start", Json({{"job_id", "k"}}));
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
    const ToolResult result = Run("render_current_view", {{"strength", 0.25}});
    std::locale::global(saved);
    ASSERT_TRUE(result.success) << result.error;
    ASSERT_EQ(service.Requests().at(0).parts.size(), 5u);
    EXPECT_EQ(service.Requests().at(0).parts[3].content, "0.250000");
    const PngSize size = ReadPngSize(service.Requests().at(0).parts[4].content);
    EXPECT_EQ(std::make_pair(size.width, size.height), std::make_pair(420u, 720u));
}

TEST_F(RenderToolsTest, AFailedStartLeavesNoFileNoPollAndNoProjectChange)
{
    struct Case {
        std::string name;
        json input;
        std::function<void()> arrange;
        std::string error;  // exact, or a prefix when prefixOnly
        bool prefixOnly = false;
        bool captures = true;  // the window was captured
        bool sends = true;     // a start request reached the service
    };
    const auto noWindows = [] {
        HostTesting::SetMainWindow(std::nullopt);
        HostTesting::SetKeyWindow(std::nullopt);
    };
    const std::vector<Case> cases = {
        {"preset differing in case",
         {{"preset", "Photoreal"}},
         [] {},
         "Unknown preset 'Photoreal'",
         false,
         false,
         false},
        {"input not an object", json::array({1}), [] {}, "[json.exception.type_error.306]", true, false, false},
        {"no window at all", json::object(), noWindows, "Failed to capture viewport image", false, false, false},
        {"window gives no image", json::object(),
         [] { HostTesting::FailNextCall("CGWindowListCreateImage", APIERR_GENERAL); },
         "Failed to capture viewport image", false, true, false},
        {"capture file cannot be written", json::object(), [] { ::setenv("TMPDIR", "/nonexistent/quillmere", 1); },
         "Render failed: the capture could not be written to a temporary file (TMPDIR)", false, true, false},
        {"server error", json::object(),
         [this] {
             service.Script("POST /render/start", Reply{500, R"({"job_id":"x"})"});
         },
         "Render server error: HTTP 500"},
        {"plain text reply", json::object(),
         [this] {
             service.Script("POST /render/start", Reply{200, "started"});
         },
         "Invalid response from render server"},
        {"connection dropped", json::object(),
         [this] {
             service.Script("POST /render/start", Reply{200, "", "", {}, true});
         },
         "Render server error: ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ResetWindows();
        ::setenv("TMPDIR", tmp->Dir().c_str(), 1);
        service.ClearRequests();
        service.Script("POST /render/start", Json({{"job_id", "never"}}));
        c.arrange();
        HostTesting::ClearCallLog();
        const Footprint before = TakeFootprint();
        const ToolResult result = Run("render_current_view", c.input);
        ::setenv("TMPDIR", tmp->Dir().c_str(), 1);
        EXPECT_FALSE(result.success);
        if (c.prefixOnly) {
            EXPECT_EQ(result.error.rfind(c.error, 0), 0u) << result.error;
            EXPECT_GT(result.error.size(), c.error.size());
        } else {
            EXPECT_EQ(result.error, c.error);
        }
        EXPECT_EQ(HostTesting::CallCount("CGWindowListCreateImage") > 0, c.captures);
        EXPECT_EQ(service.Count("POST /render/start"), c.sends ? 1u : 0u);
        EXPECT_EQ(RenderJobs::Running(), 0u) << "a poll started for a failed start";
        EXPECT_TRUE(TmpEmpty());
        EXPECT_TRUE(TakeFootprint() == before);
        HostTesting::ClearFailures();
    }
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(service.Count("GET /render/status"), 0u);
    EXPECT_TRUE(reports.empty());
}
