// The elementary streams of the MPEG4 Video pin, as ffmpeg reads them: an
// MPEG-4 Visual .m4v is the decoder configuration followed by the pictures,
// an H.263 .h263 the pictures alone; either way each sample holds one whole
// picture, so the pictures are laid one after another as delivered.
#ifndef KELO_TOOLS_KELO_PLAY_PICTURE_STREAM_H
#define KELO_TOOLS_KELO_PLAY_PICTURE_STREAM_H

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

#include "delivered_stream.h"

// The bytes after the VIDEOINFOHEADER without the two padding bytes that end
// the pin's format block. False with a message when the block is no
// VIDEOINFOHEADER or too short to hold the padding.
bool Mpeg4VisualConfigOfType(const AM_MEDIA_TYPE& type, std::vector<uint8_t>* config, std::string* error);

// `prefix`, then every sample in order.
void BuildPictureStream(const std::vector<uint8_t>& prefix, const std::vector<DeliveredSample>& samples,
                        std::vector<uint8_t>* out);

#endif
