#pragma once

// Keeps DLLs planted next to the exe (a key's folder, a download folder that
// others can write) out of the process: later DLL loads search the system
// folder only, where the system can say so, and the delay-loaded imports are
// loaded from the system folder by full path, or, when the manifest binds one
// to a side-by-side assembly, from that assembly. The DLLs that the system's
// TLS stack loads by name (secur32, crypt32) are loaded from the system
// folder at once, and stay loaded until the process ends.
void RestrictDllSearchToSystem();
