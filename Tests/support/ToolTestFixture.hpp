#pragma once

// Shared ground for tests of the assistant's tools: a fresh default project per test, one
// registry with every tool family, and checks that a test leaves no memory handle or file
// location behind.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ACAPinc.h"
#include "HostTesting.hpp"
#include "core/ToolRegistry.hpp"

class ToolTestFixture : public ::testing::Test {
protected:
    void SetUp() override;
    // Fails the test when live handles or locations differ from the start of the test.
    void TearDown() override;

    // Runs a tool through the registry as the conversation engine would.
    ToolResult Run(const std::string& tool, const nlohmann::json& input);
    // The same with the input given as JSON text (parsed here; a parse error fails the test).
    ToolResult RunText(const std::string& tool, const std::string& inputText);

    std::vector<std::string> UndoSteps() const;
    size_t UndoStepCount() const;
    // Undoes the last step; false when the host refused.
    bool UndoLast();

    // The stored element named by a GUID text (as tools report them); fails the test when the
    // text names no element.
    API_Element Element(const std::string& guidText) const;
    static API_Guid Guid(const std::string& guidText);
    // The offset of the first byte where two records differ, or sizeof(API_Element) when
    // they are the same: "the tool wrote only these fields" as one comparison.
    static size_t FirstDifference(const API_Element& a, const API_Element& b);
    static std::string Text(const API_Guid& guid);

    // Element count and undo-step count together: "the project did not change" for the
    // purposes of a failed call.
    struct Footprint {
        size_t elements;
        size_t undoSteps;
        bool operator==(const Footprint& other) const
        {
            return elements == other.elements && undoSteps == other.undoSteps;
        }
    };
    Footprint TakeFootprint() const;

    ToolRegistry registry;
    Int64 baselineHandles = 0;
    Int64 baselineLocations = 0;
};

// Prints a ToolResult in assertion messages.
void PrintTo(const ToolResult& result, std::ostream* os);
