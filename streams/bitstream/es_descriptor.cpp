#include "es_descriptor.h"

namespace {

constexpr uint8_t kEsDescrTag = 3;
constexpr uint8_t kDecoderConfigDescrTag = 4;
constexpr uint8_t kDecSpecificInfoTag = 5;
constexpr uint8_t kStreamDependenceFlag = 0x80;
constexpr uint8_t kUrlFlag = 0x40;
constexpr uint8_t kOcrStreamFlag = 0x20;
constexpr uint32_t kDecoderConfigFixedBytes = 13;  // objectType, streamType, bufferSizeDB(3), max/avgBitrate(4+4)
constexpr uint8_t kMoreSizeBytes = 0x80;

// The walk's one reader: every access checks what remains first.
class DescriptorCursor {
public:
    DescriptorCursor(const uint8_t *bytes, uint32_t size) : bytes_(bytes), size_(size) {}

    uint32_t position() const { return position_; }
    bool Byte(uint8_t *value) {
        if (position_ >= size_) return false;
        *value = bytes_[position_++];
        return true;
    }
    bool Skip(uint32_t count) {
        if (count > size_ - position_) return false;
        position_ += count;
        return true;
    }
    bool ByteAt(uint32_t position, uint8_t *value) const {
        if (position >= size_) return false;
        *value = bytes_[position];
        return true;
    }
    bool MoveTo(uint32_t position) {
        if (position > size_) return false;
        position_ = position;
        return true;
    }
    // The pointer to `count` bytes at the position, when they are there.
    const uint8_t *Span(uint32_t count) const { return count <= size_ - position_ ? bytes_ + position_ : nullptr; }

    // A descriptor's size field: 7-bit groups, each byte with its top bit
    // set followed by another. The value is only needed for the last
    // descriptor; there it is capped above the input's size, since a larger
    // size cannot fit anyway.
    bool Size(uint64_t *value) {
        uint64_t v = 0;
        uint8_t b = 0;
        do {
            if (!Byte(&b)) return false;
            v = (v << 7) | (b & 0x7Fu);
            if (v > size_) v = uint64_t(size_) + 1;
        } while (b & kMoreSizeBytes);
        *value = v;
        return true;
    }

private:
    const uint8_t *bytes_;
    uint32_t size_;
    uint32_t position_ = 0;
};

bool Walk(DescriptorCursor &c, const uint8_t **info, uint32_t *info_size) {
    uint8_t tag = 0, flags = 0;
    uint64_t ignored = 0;
    if (!c.Byte(&tag) || tag != kEsDescrTag || !c.Size(&ignored)) return false;
    if (!c.Skip(2) || !c.Byte(&flags)) return false;  // ES_ID, then the flags
    if ((flags & kStreamDependenceFlag) && !c.Skip(2)) return false;
    if (flags & kUrlFlag) {
        uint8_t url_length = 0;
        if (!c.Byte(&url_length) || !c.Skip(url_length)) return false;
    }
    if ((flags & kOcrStreamFlag) && !c.Skip(2)) return false;

    const uint32_t tag_position = c.position();
    if (!c.Byte(&tag)) return false;
    if (tag != kDecoderConfigDescrTag) {
        // Some writers set OCRstreamFlag without writing OCR_ES_Id.
        uint8_t earlier = 0;
        if (!(flags & kOcrStreamFlag) || tag_position < 2 || !c.ByteAt(tag_position - 2, &earlier) ||
            earlier != kDecoderConfigDescrTag || !c.MoveTo(tag_position - 1))
            return false;
    }
    if (!c.Size(&ignored) || !c.Skip(kDecoderConfigFixedBytes)) return false;

    uint64_t payload = 0;
    if (!c.Byte(&tag) || tag != kDecSpecificInfoTag || !c.Size(&payload)) return false;
    if (payload > UINT32_MAX) return false;
    const uint8_t *start = c.Span(static_cast<uint32_t>(payload));
    if (start == nullptr) return false;
    *info = start;
    *info_size = static_cast<uint32_t>(payload);
    return true;
}

}  // namespace

bool FindDecoderSpecificInfo(const uint8_t *bytes, uint32_t size, const uint8_t **info, uint32_t *info_size) {
    if (info == nullptr || info_size == nullptr) return false;
    *info = nullptr;
    *info_size = 0;
    if (bytes == nullptr) return false;
    DescriptorCursor cursor(bytes, size);
    return Walk(cursor, info, info_size);
}
