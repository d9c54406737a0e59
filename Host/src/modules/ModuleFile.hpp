#pragma once

// The host's module file: a project's floor plan (every element record with its memo, drafting
// drawn in worksheets left out, the stories and the attributes the elements use) in one file of
// the host's own format. 'SMOD' writes it; hotlinks read it back to place the content as
// elements. Any host area may call this.
//
//   GSErrCode err = WriteModule(TheProject(), "/some/folder/Part.mod");
//   ModuleContents module;
//   if (ReadModule(path, &module) == NoError)
//       for (const ModuleElement& e : module.elements) { /* e.record, e.memo */ }
//
// Writing goes to a temporary name in the target folder that is renamed at the end, so a
// failure leaves no file behind and an existing file is replaced whole or not at all. Reading
// refuses anything that is not a complete module of this format and version.

#include <string>
#include <vector>

#include "ACAPinc.h"
#include "project/Project.hpp"

namespace HostInternal {

// Raised whenever the file layout changes; older readers refuse newer files. Version 2 changed
// only the trailer's checksum, so version 1 files are still read.
constexpr UInt32 kModuleFormatVersion = 2;
constexpr UInt32 kOldestReadableModuleVersion = 1;

struct ModuleElement {
    API_Element record;  // as stored, its GUID included
    MemoPtr memo;        // null when the element has no memo data
};

struct ModuleContents {
    UInt32 version = 0;
    std::string projectName;                // UTF-8
    std::vector<Story> stories;             // every story of the written project, ascending
    std::vector<API_Attribute> attributes;  // the attributes the elements refer to
    std::vector<ModuleElement> elements;    // in the written project's creation order
};

// Writes the project as a module at path. APIERR_BADPARS for an empty path or one that names
// a folder; APIERR_GENERAL when the folder is missing or unwritable or writing fails (no file
// is left behind, an existing file at path is untouched).
GSErrCode WriteModule(const Project& project, const std::string& path);

// Reads a module of any readable version. APIERR_BADPARS when the file is missing, unreadable,
// not a module, cut short or damaged, or holds an attribute out of range or with a name that is
// not UTF-8, or two records under one GUID or attribute index; APIERR_NOTSUPPORTED for a module
// of another format version or record layout.
// why, when given, receives a short reason for the log.
GSErrCode ReadModule(const std::string& path, ModuleContents* contents, std::string* why = nullptr);

// Empties the project and fills it with the module: stories, attributes and elements, which
// keep their GUIDs and order. Element defaults and the library stay empty.
void LoadModuleAsProject(const ModuleContents& contents, Project& project);

}  // namespace HostInternal
