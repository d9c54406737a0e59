// The plan view follows the project's attributes: hidden layers are not drawn, and every
// element takes its pen's colour, read afresh for each drawing.

#include <cairo.h>

#include <vector>

#include <gtest/gtest.h>

#include "HostTesting.hpp"
#include "PlanView.hpp"
#include "PngPixels.hpp"

namespace {

// Counts the pixels of a rendered plan whose colour is within 40 levels of (r, g, b).
int PixelsNear(const std::vector<unsigned char>& png, int r, int g, int b)
{
    return CountPixels(png, Near(r, g, b, 40)).count;
}

std::vector<unsigned char> Plan() { return PlanView::RenderPng({400, 300, 0}); }

API_Attribute Layer(Int32 index)
{
    API_Attribute layer;
    EXPECT_TRUE(HostTesting::GetAttribute(API_LayerID, index, &layer));
    return layer;
}

class PlanViewAttributes : public ::testing::Test {
protected:
    void SetUp() override { HostTesting::ResetProject(); }
    void TearDown() override
    {
        HostTesting::ResetProject();
        cairo_debug_reset_static_data();
    }
    // A wall on layer 3 drawn with pen 20, plus a column on layer 4 with pen 21.
    static void Build()
    {
        API_Element wall = HostTesting::MakeElement(API_WallID);
        wall.wall.begC = {0, 0};
        wall.wall.endC = {6, 0};
        wall.wall.thickness = 0.4;
        wall.wall.contPen = 20;
        wall.header.layer = 3;
        HostTesting::AddElement(wall);
        API_Element column = HostTesting::MakeElement(API_ColumnID);
        column.column.origoPos = {3, 3};
        column.column.pen = 21;
        column.header.layer = 4;
        HostTesting::AddElement(column);
    }
};

TEST_F(PlanViewAttributes, PensAndLayersAreReadAfreshForEachDrawing)
{
    HostTesting::SetAttribute(HostTesting::MakePen(20, 1.0, 0.0, 0.0));
    HostTesting::SetAttribute(HostTesting::MakePen(21, 0.0, 0.0, 1.0));
    Build();
    const auto first = Plan();
    EXPECT_GT(PixelsNear(first, 255, 0, 0), 300) << "the wall is not in pen 20's red";
    EXPECT_GT(PixelsNear(first, 0, 0, 255), 20) << "the column is not in pen 21's blue";

    HostTesting::SetAttribute(HostTesting::MakePen(20, 0.0, 0.63, 0.0));
    EXPECT_EQ(PixelsNear(Plan(), 255, 0, 0), 0) << "the old colour stayed";

    API_Attribute walls = Layer(3);
    walls.header.flags = Int16(walls.header.flags | APILay_Hidden);
    HostTesting::SetAttribute(walls);
    const auto hidden = Plan();
    EXPECT_EQ(PixelsNear(hidden, 0, 160, 0), 0) << "a wall on a hidden layer was drawn";
    EXPECT_GT(PixelsNear(hidden, 0, 0, 255), 20) << "the column's layer is shown";

    // A locked layer is drawn; so is a layer the host cannot read; a pen it cannot read leaves
    // the view's own colour.
    walls.header.flags = APILay_Locked;
    HostTesting::SetAttribute(walls);
    HostTesting::DeleteAttribute(API_LayerID, 4);
    HostTesting::DeleteAttribute(API_PenID, 20);
    const auto shown = Plan();
    EXPECT_GT(PixelsNear(shown, 43, 48, 54), 300) << "the wall lost its outline colour";
    EXPECT_GT(PixelsNear(shown, 0, 0, 255), 20);
}

}  // namespace
