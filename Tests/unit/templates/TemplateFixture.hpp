#pragma once

// What the template tests share: a fresh project, a private home folder (the templates folder
// lives under it), the fake storage with the add-on pointed at it, and project fixtures.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "FakeStorage.hpp"
#include "QuillmereTest.hpp"
#include "ScopedHome.hpp"

class TemplateTest : public QuillmereTest {
protected:
    std::string TemplatesDir() const { return home.Path() + "/.quillmere/templates"; }

    // A zone with a room name at a point.
    static API_Guid AddZone(const std::string& name, double x, double y)
    {
        API_Element zone = HostTesting::MakeElement(API_ZoneID);
        GS::ucsncpy(zone.zone.roomName, GS::UniString(name).ToUStr().Get(), 256);
        zone.zone.pos = {x, y};
        return HostTesting::AddElement(zone);
    }
    static API_Guid AddColumn(double x, double y)
    {
        API_Element column = HostTesting::MakeElement(API_ColumnID);
        column.column.origoPos = {x, y};
        return HostTesting::AddElement(column);
    }

    static std::string ReadFile(const std::string& path)
    {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    static bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

    ScopedHome home;
    FakeStorage storage;
    ScopedStorageEnvironment storageEnvironment{storage};
};
