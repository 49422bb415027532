#include "filter_data.h"

#include <cstring>

namespace {

// Sequential little-endian reads over the record; every read checks what
// remains, and the first failure sticks.
class RecordReader {
public:
    RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool ReadU32(DWORD* value) { return ReadAt(position_, value) && Advance(4); }
    bool ReadTag(char tag[4]) {
        if (!Has(position_, 4)) return false;
        std::memcpy(tag, data_ + position_, 4);
        return Advance(4);
    }
    bool Skip(size_t bytes) { return Has(position_, bytes) && Advance(bytes); }
    bool GuidAt(DWORD offset, GUID* guid) const {
        if (!Has(offset, sizeof(GUID))) return false;
        std::memcpy(guid, data_ + offset, sizeof(GUID));  // stored in GUID's own little-endian layout
        return true;
    }

private:
    bool Has(size_t at, size_t bytes) const { return at <= size_ && bytes <= size_ - at; }
    bool ReadAt(size_t at, DWORD* value) const {
        if (!Has(at, 4)) return false;
        *value = DWORD(data_[at]) | DWORD(data_[at + 1]) << 8 | DWORD(data_[at + 2]) << 16 | DWORD(data_[at + 3]) << 24;
        return true;
    }
    bool Advance(size_t bytes) {
        position_ += bytes;
        return true;
    }

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

bool SignatureMatches(const char tag[4], size_t index, const char* suffix) {
    // The leading digit counts 0..9; past ten entries only the suffix is checked.
    if (index < 10 && tag[0] != char('0' + index)) return false;
    return std::memcmp(tag + 1, suffix, 3) == 0;
}

bool Fail(std::string* error, std::string what) {
    *error = std::move(what);
    return false;
}

}  // namespace

bool ParseFilterData(const uint8_t* data, size_t size, RegisteredFilter* out, std::string* error) {
    RecordReader reader(data, size);
    RegisteredFilter filter{};
    DWORD pin_count = 0;
    DWORD reserved = 0;
    if (!reader.ReadU32(&filter.version) || !reader.ReadU32(&filter.merit) || !reader.ReadU32(&pin_count) ||
        !reader.ReadU32(&reserved))
        return Fail(error, "the record is shorter than its 16-byte header");
    for (DWORD pin_index = 0; pin_index < pin_count; ++pin_index) {
        char tag[4];
        RegisteredPin pin{};
        DWORD type_count = 0;
        DWORD category_offset = 0;
        if (!reader.ReadTag(tag) || !reader.ReadU32(&pin.flags) || !reader.ReadU32(&pin.instances) ||
            !reader.ReadU32(&type_count) || !reader.ReadU32(&pin.medium_count) || !reader.ReadU32(&category_offset))
            return Fail(error, "pin " + std::to_string(pin_index) + " runs past the record");
        if (!SignatureMatches(tag, pin_index, "pi3"))
            return Fail(error, "pin " + std::to_string(pin_index) + " has no 'pi3' signature");
        for (DWORD type_index = 0; type_index < type_count; ++type_index) {
            DWORD major_offset = 0;
            DWORD minor_offset = 0;
            RegisteredMediaType type{};
            if (!reader.ReadTag(tag) || !reader.ReadU32(&reserved) || !reader.ReadU32(&major_offset) ||
                !reader.ReadU32(&minor_offset))
                return Fail(error, "a media type of pin " + std::to_string(pin_index) + " runs past the record");
            if (!SignatureMatches(tag, type_index, "ty3"))
                return Fail(error, "media type " + std::to_string(type_index) + " of pin " + std::to_string(pin_index) +
                                       " has no 'ty3' signature");
            if (!reader.GuidAt(major_offset, &type.major) || !reader.GuidAt(minor_offset, &type.minor))
                return Fail(error,
                            "a media type GUID of pin " + std::to_string(pin_index) + " lies outside the record");
            pin.types.push_back(type);
        }
        if (!reader.Skip(size_t(pin.medium_count) * 4))
            return Fail(error, "the mediums of pin " + std::to_string(pin_index) + " run past the record");
        filter.pins.push_back(std::move(pin));
    }
    *out = std::move(filter);
    return true;
}
