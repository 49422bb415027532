#include "probe_output.h"

#include <cinttypes>

namespace {

std::string json_escape(const std::string &s) {
    std::string out;
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += char(ch);
        } else if (ch < 0x20 || ch >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", ch);
            out += buf;
        } else {
            out += char(ch);
        }
    }
    return out;
}

}  // namespace

std::string fourcc_text(uint32_t code) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char ch = char((code >> shift) & 0xFF);
        s += (ch >= 0x20 && ch < 0x7F) ? ch : '.';
    }
    return s;
}

std::string hex_bytes(const uint8_t *data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s += kDigits[data[i] >> 4];
        s += kDigits[data[i] & 15];
    }
    return s;
}

void ProbeOutput::indent() {
    for (size_t i = 0; i + 1 < levels_.size(); ++i) std::fputs("  ", out_);
}

void ProbeOutput::separate() {
    if (levels_.empty()) return;
    if (json_ && levels_.back().has_items) std::fputs(",", out_);
    levels_.back().has_items = true;
}

void ProbeOutput::key_prefix(const char *key) {
    separate();
    if (json_) {
        if (key && !(levels_.size() && levels_.back().is_array)) std::fprintf(out_, "\"%s\":", key);
    } else {
        indent();
        if (key) std::fprintf(out_, "%s: ", key);
    }
}

void ProbeOutput::begin_object(const char *key) {
    if (!levels_.empty()) key_prefix(key);
    if (json_) {
        std::fputs("{", out_);
    } else if (!levels_.empty()) {
        std::fputs(key ? "\n" : "-\n", out_);
    }
    levels_.push_back({false, false});
}

void ProbeOutput::end_object() {
    levels_.pop_back();
    if (json_) std::fputs("}", out_);
}

void ProbeOutput::begin_array(const char *key) {
    key_prefix(key);
    std::fputs(json_ ? "[" : "\n", out_);
    levels_.push_back({true, false});
}

void ProbeOutput::end_array() {
    levels_.pop_back();
    if (json_) std::fputs("]", out_);
}

void ProbeOutput::field(const char *key, const std::string &value) {
    key_prefix(key);
    if (json_)
        std::fprintf(out_, "\"%s\"", json_escape(value).c_str());
    else
        std::fprintf(out_, "%s\n", value.c_str());
}

void ProbeOutput::field(const char *key, uint64_t value) {
    key_prefix(key);
    std::fprintf(out_, json_ ? "%" PRIu64 : "%" PRIu64 "\n", value);
}

void ProbeOutput::field_signed(const char *key, int64_t value) {
    key_prefix(key);
    std::fprintf(out_, json_ ? "%" PRId64 : "%" PRId64 "\n", value);
}

void ProbeOutput::field_hex(const char *key, uint64_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%" PRIx64, value);
    field(key, std::string(buf));
}

void ProbeOutput::field_bool(const char *key, bool value) {
    key_prefix(key);
    if (json_)
        std::fputs(value ? "true" : "false", out_);
    else
        std::fputs(value ? "yes\n" : "no\n", out_);
}

void ProbeOutput::range(const char *key, uint64_t offset, uint64_t size) {
    if (json_) {
        key_prefix(key);
        std::fprintf(out_, "{\"offset\":%" PRIu64 ",\"size\":%" PRIu64 "}", offset, size);
    } else {
        key_prefix(key);
        std::fprintf(out_, "offset %" PRIu64 " size %" PRIu64 "\n", offset, size);
    }
}

void ProbeOutput::finish() {
    if (json_) std::fputs("\n", out_);
}
