#pragma once

// The commands ACAPI_Automate dispatches to, each in the area that owns it.

#include "ACAPinc.h"

namespace HostInternal {

// 'PUBL': draws the publisher set's page into "<set name>.pdf" in pars->path or the set's own
// folder (publishing/Publisher.cpp).
GSErrCode RunPublisherSet(const API_PublishPars* pars);

}  // namespace HostInternal
