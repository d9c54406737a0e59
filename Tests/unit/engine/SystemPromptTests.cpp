// What the model must learn from the system prompt rather than from failed tool calls.
#include <gtest/gtest.h>

#include "engine/SystemPrompt.hpp"

TEST(SystemPrompt, TellsTheModelWhatItWouldOtherwiseLearnFromFailures)
{
    const struct {
        const char* fact;
        const char* wording;
    } cases[] = {
        {"lengths are metres", "metres"},
        {"drafting angles are radians", "radians"},
        {"the user can undo any change, so an element can be gone", "Edit > Undo"},
        {"a vanished element is looked up again, not retried", "not found"},
    };
    for (const auto& c : cases) EXPECT_NE(SystemPrompt().find(c.wording), std::string::npos) << c.fact;
}
