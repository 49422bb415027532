// bxfprobe: opens a file through the media-file library and prints what the
// library found. Errors print the code's name and exit non-zero.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bxf.h"
#include "probe_output.h"
#include "probe_samples.h"
#include "probe_tracks.h"

namespace {

struct Options {
    const char *path = nullptr;
    bool json = false;
    bool samples = false;
    bool aux = false;  // with --samples: the auxiliary-information fields
    bool at = false;
    double at_seconds = 0;
    uint32_t track = 0;  // 0: every track
    uint32_t fragment_mode = 0;
};

void usage() {
    std::fprintf(stderr,
                 "usage: bxfprobe [--json] FILE\n"
                 "       bxfprobe [--json] [--fragment-mode N] --samples [--aux] [--track N] FILE\n"
                 "       bxfprobe [--json] --at SECONDS [--track N] FILE\n");
}

bool parse_args(int argc, char **argv, Options &opt) {
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        char *end = nullptr;
        if (std::strcmp(argv[i], "--json") == 0) {
            opt.json = true;
        } else if (std::strcmp(argv[i], "--samples") == 0) {
            opt.samples = true;
        } else if (std::strcmp(argv[i], "--aux") == 0) {
            opt.aux = true;
        } else if (std::strcmp(argv[i], "--track") == 0 && has_value) {
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || n == 0 || n > UINT32_MAX) return false;
            opt.track = uint32_t(n);
        } else if (std::strcmp(argv[i], "--fragment-mode") == 0 && has_value) {
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || n > UINT32_MAX) return false;
            opt.fragment_mode = uint32_t(n);
        } else if (std::strcmp(argv[i], "--at") == 0 && has_value) {
            opt.at_seconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(opt.at_seconds >= 0)) return false;
            opt.at = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0')
            return false;
        else if (!opt.path)
            opt.path = argv[i];
        else
            return false;
    }
    return opt.path != nullptr && !(opt.samples && opt.at) && !(opt.aux && !opt.samples);
}

// The library takes UTF-16 paths; command lines arrive as UTF-8.
std::vector<uint16_t> utf8_to_utf16(const char *s) {
    std::vector<uint16_t> out;
    const auto *p = reinterpret_cast<const unsigned char *>(s);
    while (*p) {
        uint32_t cp = *p++;
        int extra = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
        if (extra) cp &= 0x3Fu >> extra;
        for (; extra > 0 && (*p & 0xC0) == 0x80; --extra) cp = (cp << 6) | (*p++ & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(uint16_t(0xD800 + (cp >> 10)));
            out.push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(uint16_t(cp));
        }
    }
    out.push_back(0);
    return out;
}

const struct {
    uint32_t flag;
    const char *name;
} kPresenceFlags[] = {
    {BXF_PLAY_INIT_EXIST_MEHD_BOX, "MEHD_BOX"},
    {BXF_PLAY_INIT_EXIST_TREX_BOX, "TREX_BOX"},
    {BXF_PLAY_INIT_EXIST_MOOF_BOX, "MOOF_BOX"},
    {BXF_PLAY_INIT_EXIST_MFRA_BOX, "MFRA_BOX"},
    {BXF_PLAY_INIT_EXIST_FTYP_BOX, "FTYP_BOX"},
    {BXF_PLAY_INIT_EXIST_UUID_PROF_BOX, "UUID_PROF_BOX"},
    {BXF_PLAY_INIT_EXIST_MOOV_BOX, "MOOV_BOX"},
    {BXF_PLAY_INIT_EXIST_IODS_BOX, "IODS_BOX"},
    {BXF_PLAY_INIT_EXIST_UUID_LICI_BOX, "UUID_LICI_BOX"},
    {BXF_PLAY_INIT_EXIST_UUID_MTSD_BOX, "UUID_MTSD_BOX"},
    {BXF_PLAY_INIT_EXIST_UUID_BOOK_BOX, "UUID_BOOK_BOX"},
    {BXF_PLAY_INIT_EXIST_MDRI_BOX, "MDRI_BOX"},
    {BXF_PLAY_INIT_EXIST_PROTECTION_SYSTEM_BOX, "PROTECTION_SYSTEM_BOX"},
    {BXF_PLAY_INIT_EXIST_FREE_BOX, "FREE_BOX"},
    {BXF_PLAY_INIT_EXIST_PDIN_BOX, "PDIN_BOX"},
    {BXF_PLAY_INIT_EXIST_BLOC_BOX, "BLOC_BOX"},
    {BXF_PLAY_INIT_EXIST_AINF_BOX, "AINF_BOX"},
    {BXF_PLAY_INIT_EXIST_MOOV_META_BOX, "MOOV_META_BOX"},
    {BXF_PLAY_INIT_EXIST_META_BOX, "META_BOX"},
};

void print_kept_boxes(ProbeOutput &out, const MovieRecord &m) {
    const struct {
        const char *name;
        BoxRange range;
    } kept[] = {
        {"ftyp", m.ftyp_body}, {"pdin", m.pdin_body}, {"bloc", m.bloc_body}, {"uuid PROF", m.prof.box},
        {"moov", m.moov_box},  {"meta", m.meta_body}, {"mfra", m.mfra_box},  {"uuid MTSD", m.mtsd_box},
        {"uuid LICI", m.lici.box}, {"uuid book", m.book_box}, {"mdri", m.mdri_box},
        {"moov/mvhd", m.moov.mvhd_body}, {"moov/iods", m.moov.iods_body}, {"moov/meta", m.moov.meta_body},
        {"moov/ainf", m.moov.ainf_body}, {"moov/mvex", m.moov.mvex.mvex_body},
        {"moov/mvex/mehd", m.moov.mvex.mehd_body}, {"moov/uuid USMT", m.moov.usmt.box},
        {"moov/free (last)", m.moov.trailing_free_box},
    };
    out.begin_object("boxes");
    for (const auto &k : kept)
        if (k.range.offset != 0 || k.range.size != 0) out.range(k.name, k.range.offset, k.range.size);
    if (m.moof_head) out.range("first moof", m.moof_head->box_offset, m.moof_head->box_size);
    out.end_object();
}

void print_pssh(ProbeOutput &out, const MoovRecord &moov) {
    out.begin_array("pssh");
    for (const PsshRecord *p = moov.pssh_head; p; p = p->next) {
        out.begin_object();
        out.field("version", uint64_t(p->version));
        out.field("system_id", hex_bytes(p->system_id, sizeof p->system_id));
        out.begin_array("kids");
        for (uint32_t i = 0; i < p->kid_count; ++i) out.field(nullptr, hex_bytes(p->kids + 16 * i, 16));
        out.end_array();
        out.field("data_size", p->data.size);
        out.end_object();
    }
    out.end_array();
}

int probe(const Options &opt, FILE *out_stream) {
    FileOps ops;
    bxf_fill_file_ops(&ops);
    MediaFile *file = nullptr;
    uint32_t ret = bxf_file_open(utf8_to_utf16(opt.path).data(), BXF_FILE_MODE_READ, &file);
    if (ret != BXF_RET_OK) {
        std::fprintf(stderr, "bxfprobe: %s: cannot open: %s\n", opt.path, bxf_ret_name(ret));
        return 1;
    }
    LibraryInstance *inst = nullptr;
    PlayHandle *handle = nullptr;
    uint32_t flags = 0;
    OpenParams params{0, 0, 1, opt.fragment_mode};
    ret = bxf_create(&ops, &inst);
    if (ret == BXF_RET_OK) ret = bxf_play_open(inst, file, &params, &handle, &flags);
    if (ret == BXF_RET_OK && (opt.samples || opt.at)) {
        ret = opt.samples ? print_samples(out_stream, opt.json, opt.aux, handle, opt.track)
                          : print_at(out_stream, opt.json, handle, opt.track, opt.at_seconds);
        if (ret != BXF_RET_OK) std::fprintf(stderr, "bxfprobe: %s: %s\n", opt.path, bxf_ret_name(ret));
    } else if (ret == BXF_RET_OK) {
        const MovieRecord *movie = nullptr;
        bxf_play_get_movie(handle, &movie);
        ProbeOutput out(out_stream, opt.json);
        out.begin_object();
        out.field("file", std::string(opt.path));
        out.field_hex("presence_flags", flags);
        out.begin_array("present");
        for (const auto &f : kPresenceFlags)
            if (flags & f.flag) out.field(nullptr, std::string(f.name));
        out.end_array();
        print_kept_boxes(out, *movie);
        print_random_access(out, *movie);
        out.field("time_scale", uint64_t(movie->moov.time_scale));
        out.field("track_count", uint64_t(movie->moov.track_count));
        print_pssh(out, movie->moov);
        print_vendor_profiles(out, handle, *movie);
        ret = print_tracks(out, handle, ops, file);
        out.end_object();
        out.finish();
        // The library opens a file without a movie; for the probe, which is
        // asked about a movie, that is a failure.
        if (ret != BXF_RET_OK) {
            std::fprintf(stderr, "bxfprobe: %s: %s\n", opt.path, bxf_ret_name(ret));
        } else if (!(flags & BXF_PLAY_INIT_EXIST_MOOV_BOX)) {
            std::fprintf(stderr, "bxfprobe: %s: no moov box: %s\n", opt.path, bxf_ret_name(BXF_RET_NOTFOUND));
            ret = BXF_RET_NOTFOUND;
        }
    } else {
        std::fprintf(stderr, "bxfprobe: %s: %s\n", opt.path, bxf_ret_name(ret));
    }
    bxf_play_close(handle);
    bxf_destroy(inst);
    bxf_file_close(file);
    return ret == BXF_RET_OK ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    Options opt;
    if (!parse_args(argc, argv, opt)) {
        usage();
        return 2;
    }
    return probe(opt, stdout);
}
