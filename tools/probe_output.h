// A small writer that prints the same facts either as indented text for
// people or as JSON for programs, so the probe says each fact once.
#ifndef BXF_PROBE_OUTPUT_H
#define BXF_PROBE_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ProbeOutput {
public:
    ProbeOutput(FILE *out, bool json) : out_(out), json_(json) {}

    void begin_object(const char *key = nullptr);
    void end_object();
    void begin_array(const char *key);
    void end_array();
    void field(const char *key, const std::string &value);
    void field(const char *key, uint64_t value);
    void field_signed(const char *key, int64_t value);
    void field_hex(const char *key, uint64_t value);
    void field_bool(const char *key, bool value);
    // Text mode prints "key: offset+size"; JSON an object of both.
    void range(const char *key, uint64_t offset, uint64_t size);
    void finish();

private:
    struct Level {
        bool is_array;
        bool has_items;
    };
    void separate();
    void key_prefix(const char *key);
    void indent();

    FILE *out_;
    bool json_;
    std::vector<Level> levels_;
};

std::string fourcc_text(uint32_t code);
std::string hex_bytes(const uint8_t *data, size_t size);

#endif
