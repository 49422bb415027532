// Vendor uuid boxes (PROF, LICI, USMT): lists of child entries, kept by
// range; only the video profile entry is ever read back.
#include "field_reader.h"
#include "movie_parsers.h"
#include "play_handle.h"

namespace bxf {

namespace {

constexpr uint32_t kNoItemCount = 0xFFFFFFFFu;

// MTDT and MTDF start with a u16 item count; MTSM, MVPL and UASI are payload
// throughout; other entries are only located.
uint32_t fill_entry(const Io &io, const BoxRecord &box, VendorEntry &entry) {
    entry.type = box.type;
    entry.item_count = kNoItemCount;
    entry.box = box_range(box);
    entry.body = body_range(box);
    switch (box.type) {
        case BXF_FOURCC('M', 'T', 'D', 'T'):
        case BXF_FOURCC('M', 'T', 'D', 'F'): {
            uint32_t count = 0;
            const uint32_t ret = read_fields(io, box, &entry.payload, [&](ByteCursor &c) {
                count = c.u16();
                return true;
            });
            if (ret != BXF_RET_OK) return ret;
            entry.item_count = count;
            break;
        }
        case BXF_FOURCC('M', 'T', 'S', 'M'):
        case BXF_FOURCC('M', 'V', 'P', 'L'):
        case BXF_FOURCC('U', 'A', 'S', 'I'): entry.payload = body_range(box); break;
        default: break;
    }
    return BXF_RET_OK;
}

}  // namespace

uint32_t parse_vendor_list(const Io &io, BoxRange range, uint32_t max_entries, VendorBoxRecord &list) {
    uint64_t consumed = 0;
    while (list.entry_count < max_entries && range.size - consumed >= 8) {
        BoxRecord box;
        uint32_t ret = read_box(io, range.offset + consumed, range.size - consumed, &box);
        if (ret != BXF_RET_OK) return ret;
        auto *entry = alloc_record<VendorEntry>(io.inst);
        if (!entry) return BXF_RET_NOMEM;
        ret = fill_entry(io, box, *entry);
        if (ret != BXF_RET_OK) {
            bxf_free(io.inst, entry);
            return ret;
        }
        append_node(list.head, list.tail, entry);
        ++list.entry_count;
        consumed += box.m_box_size;
    }
    return BXF_RET_OK;
}

void release_vendor_list(LibraryInstance *inst, VendorBoxRecord &list) {
    free_list(inst, list.head);
    list.head = list.tail = nullptr;
    list.entry_count = 0;
}

}  // namespace bxf

using namespace bxf;

extern "C" uint32_t bxf_find_vendor_entry(const VendorEntry *head, uint32_t type, uint32_t n,
                                          const VendorEntry **out_entry) {
    if (!out_entry || n == 0) return BXF_RET_ARGS;
    for (const VendorEntry *e = head; e; e = e->next) {
        if (e->type == type && --n == 0) {
            *out_entry = e;
            return BXF_RET_OK;
        }
    }
    return BXF_RET_NOTFOUND;
}

extern "C" uint32_t bxf_get_video_profile(PlayHandle *handle, uint32_t profile, VideoProfileInfo *out) {
    if (!handle || !out || profile == 0) return BXF_RET_ARGS;
    const VendorEntry *entry = nullptr;
    uint32_t ret = bxf_find_vendor_entry(handle->movie.prof.head, BXF_FOURCC('V', 'P', 'R', 'F'), profile, &entry);
    if (ret != BXF_RET_OK) return ret;
    uint32_t version = 0, flags = 0;
    uint32_t w[10];
    BoxRange rest;
    ret = read_fields(Io{handle->instance, handle->file}, entry->body, &rest, [&](ByteCursor &c) {
        const bool known = read_version(c, 0, &version, &flags);
        for (uint32_t &word : w) word = c.u32();
        return known;
    });
    if (ret != BXF_RET_OK) return ret;
    VideoProfileInfo info{};
    info.word1 = w[0];
    info.word2 = w[1];
    info.word3 = w[2];
    info.word4 = w[3];
    info.word5 = w[4];
    info.word6 = w[5];
    info.word7_integer = uint16_t(w[6] >> 16);
    info.word7_fraction = uint16_t(w[6]);
    info.word8_integer = uint16_t(w[7] >> 16);
    info.word8_fraction = uint16_t(w[7]);
    info.word9_integer = uint16_t(w[8] >> 16);
    info.word9_fraction = uint16_t(w[8]);
    info.word10_integer = uint16_t(w[9] >> 16);
    info.word10_fraction = uint16_t(w[9]);
    *out = info;
    return BXF_RET_OK;
}
