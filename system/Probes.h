#pragma once

// System probes; each asks the system anew and answers 1 or 0, with 0 when a
// system call fails.

// The current user's account is an administrator account in the local
// account database (not: the process runs elevated).
int IsAdministrator();
// Vista or later, with the EnableLUA policy value non-zero.
int IsUacEnabled();
// The system reports an Internet connection and is not in offline mode.
int IsOnline();

// "runas" or "" for ShellExecuteExW.
const char* GetLaunchVerb();
