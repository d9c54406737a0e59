// The tool kit's point lists, read from objects in any shape a model sends: what no tool's own
// test shows in full.

#include "tools/ToolKit.hpp"
#include "QuillmereTest.hpp"

namespace {

using ToolKit = QuillmereTest;

const std::string kType302 = "[json.exception.type_error.302] type must be ";
const std::string kType306 = "[json.exception.type_error.306] cannot use value() with ";

// The library's error text of a read, or "" when it returned.
template <typename Read>
std::string ErrorOf(Read read)
{
    try {
        read();
    } catch (const json::exception& e) {
        return e.what();
    }
    return "";
}

TEST_F(ToolKit, PointListsReadObjectsAndIgnoreWhatIsNoList)
{
    const struct {
        json input;
        Points points;
        std::string error;
    } cases[] = {
        {json::object(), {}, ""},
        {{{"points", {{"x", 1}}}}, {}, ""},  // an object, not a list
        {{{"points", {{{"x", 1}, {"y", 2}}, {{"y", -3.5}}, json::object()}}}, {{1, 2}, {0, -3.5}, {0, 0}}, ""},
        {{{"points", {{{"x", 1}, {"y", 2}}, {4, 5}}}}, {}, kType306 + "array"},
        {{{"points", {{{"x", "1"}}}}}, {}, kType302 + "number, but is string"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.dump());
        Points read;
        EXPECT_EQ(ErrorOf([&] { read = PointsInput(c.input, "points"); }), c.error);
        EXPECT_EQ(read, c.points);
    }
}

}  // namespace
