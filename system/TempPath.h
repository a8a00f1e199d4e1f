#pragma once

#include "framework/AfxHandle.h"

#include <windows.h>

// Paths in the user's temporary directory are wide: a user name outside the
// ANSI code page (C:\Users\张伟 on an English Windows) reaches the ANSI
// functions as question marks, a path that does not exist.

const unsigned int kTempPathSize = 520;

// The temporary directory exactly as the system gives it (with its trailing
// backslash, or empty when it gives none) followed by `fileName`, which
// begins with a backslash: after the directory's own it makes a "\\", which
// Windows reads as one. Run as SYSTEM (a deployment tool starts it so), it
// is SYSTEM's own folder where the system has one, not the shared Windows
// temporary folder that other accounts write in.
void BuildTempFilePath(wchar_t (&path)[kTempPathSize], const wchar_t* fileName);

typedef BOOL(WINAPI* PathFileExistsFn)(LPCWSTR path);

// Before a download of `url` to `path`: drops the system's cached copy of
// `url` and the file an earlier run left at `path`, so the bytes come from
// the server. Without a `fileExists` test the leftover file stays.
void DiscardStaleCopy(const wchar_t* url, const wchar_t* path, PathFileExistsFn fileExists);

// Whether `file` is a plain file of one name: no other hard link reaches it
// and it is no reparse point (a symbolic link, a junction). What the system
// says of it goes to `information`.
bool IsSoleLinkFile(HANDLE file, BY_HANDLE_FILE_INFORMATION& information);

// The file at `path` created new for this run, opened for `access` and
// shared as `share`. Whatever stood at the name (a stale copy, or a link
// that another account left in a shared folder) is removed first and never
// written through: the file is created only where the name is free
// (CREATE_NEW), and the handle is checked to be that file. Its access list
// admits this user, the administrators and SYSTEM, nobody else, whatever the
// folder passes on. None, with the last error set, when any of it fails.
CUniqueFile CreateOwnFile(const wchar_t* path, DWORD access, DWORD share);

// What tells one file from every other on the machine while it exists.
struct FileIdentity {
    DWORD volumeSerial;
    DWORD indexHigh;
    DWORD indexLow;
};

// The identity of the file that `file` is open on; false when the system
// cannot tell.
bool ReadFileIdentity(HANDLE file, FileIdentity& identity);

// Opens the file at `path` again for reading, with read sharing only, so
// that nobody can change, rename or delete it while the handle is open, and
// only if it is still the file of identity `written`, of one link. A file
// that others hold open for a moment (a virus scanner) is waited for a
// little. None, with the last error set (ERROR_FILE_INVALID when another
// file stands at the name), when any of it fails; the log then says why,
// naming the file as `what` ("manifest", "setup").
CUniqueFile OpenWrittenFile(const wchar_t* path, const FileIdentity& written, const char* what);
