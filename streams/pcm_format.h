// What the PCM pin delivers for a linear PCM sample entry: the stored layout
// of its values (QuickTime's PCM kinds, `lpcm` with its version 2 flags),
// the WAVE channel mask, and the conversion of stored values into WAVE's
// (little-endian; 8-bit values unsigned).
#ifndef KELO_STREAMS_PCM_FORMAT_H
#define KELO_STREAMS_PCM_FORMAT_H

#include <cstdint>

#include "bxf.h"

struct PcmFormat {
    uint32_t channels = 0;
    uint32_t sample_rate = 0;      // Hz
    uint32_t bytes_per_value = 0;  // one channel's value: 1, 2, 3, 4 or 8
    bool is_float = false;
    bool big_endian = false;
    bool signed_8bit = false;   // 8-bit values stored signed
    uint32_t channel_mask = 0;  // WAVE speaker positions; 0 when none fits

    uint32_t FrameBytes() const { return channels * bytes_per_value; }
};

// The entry types the PCM pin plays: twos, sowt, in24, in32, fl32, fl64,
// raw , NONE and lpcm.
bool IsLinearPcmEntry(uint32_t entry_type);

// The layout of an audio entry's values; false for one the pin cannot
// deliver: not linear PCM, no channel, a rate of 0, or sizes and flags
// outside 8/16/24/32-bit integers and 32/64-bit floats, interleaved.
bool DescribePcm(const SampleEntry& entry, PcmFormat* format);

// Stored values to WAVE's in place: byte order turned for big-endian values,
// the sign bit flipped for signed 8-bit values. A partial value at the end
// stays as it is.
void ConvertPcmValues(const PcmFormat& format, uint8_t* bytes, uint32_t size);

#endif
