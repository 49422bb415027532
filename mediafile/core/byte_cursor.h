// The one bounded reader for box bodies held in memory. Every read checks
// what remains first; reading past the end returns zeros and leaves the
// cursor failed, so a parser reads its fields and checks ok() once.
#ifndef BXF_BYTE_CURSOR_H
#define BXF_BYTE_CURSOR_H

#include <cstdint>
#include <cstring>

#include "internal.h"

namespace bxf {

class ByteCursor {
public:
    ByteCursor(const uint8_t *data, uint64_t size) : data_(data), size_(size) {}

    uint64_t position() const { return pos_; }
    uint64_t remaining() const { return failed_ ? 0 : size_ - pos_; }
    bool ok() const { return !failed_; }
    const uint8_t *current() const { return data_ + pos_; }

    // True when `n` more bytes are there; otherwise the cursor fails.
    bool need(uint64_t n) {
        if (failed_ || n > size_ - pos_) {
            failed_ = true;
            return false;
        }
        return true;
    }
    uint8_t u8() { return need(1) ? data_[pos_++] : 0; }
    uint16_t u16() { return take_be<uint16_t>(2, load_u16_be); }
    uint32_t u24() {
        if (!need(3)) return 0;
        uint32_t v = (uint32_t(data_[pos_]) << 16) | (uint32_t(data_[pos_ + 1]) << 8) | data_[pos_ + 2];
        pos_ += 3;
        return v;
    }
    uint32_t u32() { return take_be<uint32_t>(4, load_u32_be); }
    uint64_t u64() { return take_be<uint64_t>(8, load_u64_be); }
    // u32 for version 0 layouts, u64 for version 1.
    uint64_t u32_or_u64(bool wide) { return wide ? u64() : u32(); }
    void skip(uint64_t n) {
        if (need(n)) pos_ += n;
    }
    void copy(void *dst, uint64_t n) {
        if (need(n)) {
            std::memcpy(dst, data_ + pos_, n);
            pos_ += n;
        }
    }

private:
    template <class T, class Load>
    T take_be(uint64_t n, Load load) {
        if (!need(n)) return 0;
        T v = load(data_ + pos_);
        pos_ += n;
        return v;
    }

    const uint8_t *data_;
    uint64_t size_;
    uint64_t pos_ = 0;
    bool failed_ = false;
};

// For boxes whose every version is read alike.
constexpr uint32_t kAnyVersion = 0xFF;

// The full-box version/flags word; false when it is missing or the version
// is above `max_version`.
inline bool read_version(ByteCursor &c, uint32_t max_version, uint32_t *version, uint32_t *flags) {
    const uint32_t vf = c.u32();
    *version = vf >> 24;
    *flags = vf & 0xFFFFFFu;
    return c.ok() && *version <= max_version;
}

}  // namespace bxf

#endif
