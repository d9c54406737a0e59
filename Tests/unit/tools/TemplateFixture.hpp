#pragma once

// What the template tests share on top of the typology fixture (fresh project, private home,
// fake storage): the templates folder under the home, columns, and file reading.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TypologyTest.hpp"

class TemplateTest : public TypologyTest {
protected:
    std::string TemplatesDir() const { return QuillmereDir() + "/templates"; }

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
    static bool Exists(const std::string& path)
    {
        return std::filesystem::exists(std::filesystem::symlink_status(path));
    }
};
