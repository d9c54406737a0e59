// What the model must learn from the system prompt rather than from failed tool calls.
#include <gtest/gtest.h>

#include "engine/SystemPrompt.hpp"

TEST(SystemPrompt, TellsTheModelWhatItWouldOtherwiseLearnFromFailures)
{
    // The user can undo any change, so an element the model made can be gone.
    for (const char* wording : {"metres", "radians", "Edit > Undo", "not found"})
        EXPECT_NE(SystemPrompt().find(wording), std::string::npos) << wording;
}
