// Reads the fields of a parameter set into 32-bit record members; the first
// failure sticks, so a parser reads a run of fields and checks ok() where a
// value matters.
#ifndef KELO_BITSTREAM_SPS_FIELDS_H
#define KELO_BITSTREAM_SPS_FIELDS_H

#include <cstdint>
#include <limits>

#include "nal_bit_reader.h"

class SpsFields {
public:
    explicit SpsFields(NalBitReader &reader) : reader_(reader) {}

    bool ok() const { return ok_; }
    void fail() { ok_ = false; }

    void u(unsigned count, uint32_t *field) {
        uint32_t v = 0;
        if (ok_ && reader_.ReadBits(count, &v)) {
            *field = v;
        } else {
            ok_ = false;
        }
    }
    void ue(uint32_t *field) {
        uint64_t v = 0;
        if (ok_ && reader_.ReadUe(&v) && v <= std::numeric_limits<uint32_t>::max()) {
            *field = static_cast<uint32_t>(v);
        } else {
            ok_ = false;
        }
    }
    void se(int32_t *field) {
        int64_t v = 0;
        if (ok_ && reader_.ReadSe(&v) && v >= std::numeric_limits<int32_t>::min() &&
            v <= std::numeric_limits<int32_t>::max()) {
            *field = static_cast<int32_t>(v);
        } else {
            ok_ = false;
        }
    }
    // Reads `count` bits and drops them (count up to 32).
    void skip(unsigned count) {
        uint32_t ignored = 0;
        u(count, &ignored);
    }

private:
    NalBitReader &reader_;
    bool ok_ = true;
};

// aspect_ratio_info_present_flag and what it announces, the first fields of
// H.264's and HEVC's VUI alike (extended_sar is aspect_ratio_idc 255).
template <typename Info>
void ReadAspectRatioInfo(SpsFields &f, Info *s) {
    constexpr uint32_t kExtendedSar = 255;
    f.u(1, &s->aspect_ratio_info_present_flag);
    if (f.ok() && s->aspect_ratio_info_present_flag) {
        f.u(8, &s->aspect_ratio_idc);
        if (f.ok() && s->aspect_ratio_idc == kExtendedSar) {
            f.u(16, &s->sar_width);
            f.u(16, &s->sar_height);
        }
    }
}

#endif
