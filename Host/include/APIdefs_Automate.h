#pragma once

// Automation records: running a publisher set ('PUBL') and saving the project as a module
// file ('SMOD').

#include "GSRoot.hpp"
#include "InputOutput.hpp"

enum API_AutomateID : Int32 {
    APIDo_PublishID = 0x5055424C,          // 'PUBL'
    APIDo_SaveAsModuleFileID = 0x534D4F44  // 'SMOD'
};

// Input of 'PUBL': the publisher set (its root item GUID) and, when not null, the folder to
// publish into instead of the set's own.
struct API_PublishPars {
    API_Guid guid;
    IO::Location* path;
    bool saveToTempFolder;  // unused; zero
};

// Input of 'SMOD': where to write the module. The host writes the whole project.
struct API_ModuleSavePars {
    IO::Location* file;
    Int32 reserved;  // zero
};
