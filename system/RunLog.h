#pragma once

#include <windows.h>

// A short log of every run, DA_Razi.log in the user's temporary folder, for
// the bank's support desk: one UTF-8 line per event, with the local time,
// the process id and the event in plain English. It holds no secret. It can
// never hurt a run: a log that cannot be opened or written is skipped.

// Opens the log for this run, first renaming one grown past 1 MiB to
// DA_Razi.old.log (which it replaces). Once, before anything is logged.
void OpenRunLog();

// Appends one line, `format` (plain ASCII) and its arguments as wvnsprintfW
// reads them ("%s" a wide text, "%hs" an 8-bit one), cut at 1000
// characters. From any thread; a line of another copy of the program is
// never written into it.
void LogLine(const char* format, ...);
