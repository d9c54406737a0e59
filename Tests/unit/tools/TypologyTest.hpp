#pragma once

// What the typology tests share: a fresh project, a private home folder (the add-on's
// temporary module files go under it), the fake storage with the add-on pointed at it, and a
// catalogue forgotten before every test, as in a fresh process.

#include <filesystem>
#include <string>
#include <vector>

#include "FakeStorage.hpp"
#include "HostTestingModules.hpp"
#include "QuillmereTest.hpp"
#include "ScopedHome.hpp"
#include "TempFolder.hpp"
#include "tools/library/TypologyCatalogue.hpp"

class TypologyTest : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        ResetTypologyCatalogueForTesting();
    }
    void TearDown() override
    {
        ResetTypologyCatalogueForTesting();
        QuillmereTest::TearDown();
    }

    // The result object of a successful data tool.
    static json Data(const ToolResult& r)
    {
        EXPECT_TRUE(r.success) << r.error;
        return r.success ? json::parse(r.message) : json();
    }

    // The bytes of the host's fixture module (four walls, a door, a window, a slab, a zone
    // "Living" and a text on the ground floor; a polyline and a fill above) plus extra walls.
    std::string FixtureModuleBytes(size_t extraWalls = 0)
    {
        TempFolder scratch("quillmere-typology-module");
        const std::string path = scratch.Path("fixture.mod");
        EXPECT_EQ(HostTesting::WriteFixtureModule(path, extraWalls), NoError);
        return TempFolder::Read(path);
    }

    // A failed call whose error is expected whole, or contains what follows a leading '~'.
    static void ExpectFailure(const ToolResult& r, const std::string& expected)
    {
        EXPECT_FALSE(r.success);
        if (!expected.empty() && expected[0] == '~')
            EXPECT_NE(r.error.find(expected.substr(1)), std::string::npos) << r.error;
        else
            EXPECT_EQ(r.error, expected);
    }

    std::string QuillmereDir() const { return home.Path() + "/.quillmere"; }
    std::vector<std::string> FilesIn(const std::string& dir) const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ignored))
            names.push_back(entry.path().filename().string());
        return names;
    }
    size_t PublicDownloads(const std::string& objectPrefix = std::string()) const
    {
        return storage.RequestsTo("GET", "/storage/v1/object/public/Templates/" + objectPrefix).size();
    }

    static API_Guid AddZone(const std::string& name, double x, double y)
    {
        API_Element zone = HostTesting::MakeElement(API_ZoneID);
        GS::ucsncpy(zone.zone.roomName, GS::UniString(name).ToUStr().Get(), 256);
        zone.zone.pos = {x, y};
        return HostTesting::AddElement(zone);
    }
    static API_Guid AddSlab(const std::vector<API_Coord>& corners)
    {
        ScopedMemo memo;
        API_Element slab = HostTesting::MakeElement(API_SlabID);
        PutPolygon(memo.memo, corners);
        slab.slab.poly = {Int32(corners.size()) + 1, 1, 0};
        return HostTesting::AddElement(slab, memo.get());
    }
    // Walls around the rectangle (x0, y0) - (x1, y1), thickness t.
    static std::vector<API_Guid> AddRectangleOfWalls(double x0, double y0, double x1, double y1, double t = 0.3)
    {
        const API_Coord c[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        std::vector<API_Guid> walls;
        for (int i = 0; i < 4; ++i) {
            API_Element wall = Read(HostTesting::AddWall(c[i].x, c[i].y, c[(i + 1) % 4].x, c[(i + 1) % 4].y));
            wall.wall.thickness = t;
            walls.push_back(HostTesting::AddElement(wall));
        }
        return walls;
    }

    ScopedHome home;
    FakeStorage storage;
    ScopedStorageEnvironment storageEnvironment{storage};
};
