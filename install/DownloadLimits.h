#pragma once

#include <cstdint>

// The download service has no time limit of its own: a server that stops
// sending (or a reset that goes unnoticed) would keep the program waiting
// forever with nothing on screen. These bound every transfer.

// The manifest is a few hundred bytes, so a fetch that takes this long has failed.
const uint32_t kManifestTimeoutMs = 20000;

// A setup download may take long on a slow line, but one from which nothing
// has arrived for this long has failed: its server, proxy or link has gone.
const uint32_t kDownloadSilenceLimitMs = 30000;

// Whether a download last heard from at `lastReportTick` has been silent for
// kDownloadSilenceLimitMs at `nowTick`. Millisecond ticks wrap every 49.7
// days; the unsigned difference stays right across the wrap.
inline bool HasGoneSilent(uint32_t lastReportTick, uint32_t nowTick)
{
    return nowTick - lastReportTick >= kDownloadSilenceLimitMs;
}
