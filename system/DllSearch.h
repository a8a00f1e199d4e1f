#pragma once

// Keeps DLLs planted next to the exe (a key's folder, a download folder that
// others can write) out of the process: later DLL loads search the system
// folder only, where the system can say so, and the delay-loaded imports are
// loaded from the system folder by full path, or, when the manifest binds one
// to a side-by-side assembly, from that assembly.
void RestrictDllSearchToSystem();
