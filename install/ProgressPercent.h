#pragma once

#include <cstdint>

// The download percentage: progress x 100 / maximum in double precision,
// truncated; 0 when the maximum is 0. Not limited to 100 (the bar clamps),
// but held within the range of a signed 32-bit position, where a count far
// above its maximum would otherwise overflow the conversion.
int32_t ProgressPercent(uint32_t progress, uint32_t maximum);
