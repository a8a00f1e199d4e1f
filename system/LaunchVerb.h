#pragma once

extern const char kVerbRunAs[];    // "runas"
extern const char kVerbDefault[];  // "": the file's default action

// The shell verb for starting the setup or the assistant: always an elevation
// request on Vista and later; before Vista a plain start for an administrator
// and "runas" for everybody else. `isAdministrator` is asked only before Vista.
const char* SelectLaunchVerb(bool isVistaOrLater, int (*isAdministrator)());
