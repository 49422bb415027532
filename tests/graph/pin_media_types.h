// Each pin's media type, field by field, against what ffprobe and the file itself say of the track: one check per
// media-type builder of the filter, named by the pin table's rows.
#ifndef KELO_TESTS_GRAPH_PIN_MEDIA_TYPES_H
#define KELO_TESTS_GRAPH_PIN_MEDIA_TYPES_H

#include <string>

#include "filter_graph.h"
#include "packet_table.h"

// The connected type of a pin, the stream ffprobe found for its track and the file's path.
struct TypeContext {
    const CMediaType& type;
    const ProbedStream& stream;
    const std::string& path;
    IPin* pin;           // the filter's output pin
    long width, height;  // the picture's, as ffprobe gives it (video only)
};

using TypeCheck = void (*)(const TypeContext& context);

void ExpectAvcType(const TypeContext& context);
void ExpectAacType(const TypeContext& context);
void ExpectMpeg4VideoType(const TypeContext& context);
void ExpectHevcType(const TypeContext& context);
void ExpectAmrType(const TypeContext& context);
void ExpectPcmType(const TypeContext& context);

#endif
