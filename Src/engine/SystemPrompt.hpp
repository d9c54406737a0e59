#pragma once

#include <string>

// What the assistant is told before every conversation.
const std::string& SystemPrompt();
