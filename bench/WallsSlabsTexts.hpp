// The project the module and undo benchmarks share: elements on three stories, per ten of
// them six walls, a door and a window in the last wall, a slab and a text (memos with polygons
// and content).
#pragma once

#include "ACAPinc.h"
#include "HostTesting.hpp"

inline void BuildWallsSlabsTexts(int elements)
{
    HostTesting::ResetProject();
    API_Guid wall = APINULLGuid;
    for (int i = 0; i < elements; ++i) {
        const double x = double(i % 1000), y = double(i / 1000);
        switch (i % 10) {
        case 6: HostTesting::AddFixture(API_DoorID, 0, wall); break;
        case 7: HostTesting::AddFixture(API_WindowID, 0, wall); break;
        case 8: HostTesting::AddFixture(API_SlabID, Int16(i % 3)); break;
        case 9: HostTesting::AddFixture(API_TextID, Int16(i % 3)); break;
        default: wall = HostTesting::AddWall(x, y, x + 5.0, y, Int16(i % 3)); break;
        }
    }
}
