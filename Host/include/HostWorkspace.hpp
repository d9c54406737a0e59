#pragma once

// Stand-in for the platform's workspace as far as the add-on uses it: opening an address in
// the user's default browser (the sign-in page). Main thread only, like every host call.

#include "GSRoot.hpp"

// Asks the system to open url (http or https) in the user's default browser. False when the
// address is not one a browser should open or the system refused.
bool HostOpenURL(const GS::UniString& url);
