// The peer: the same file demuxed by libavformat's mov demuxer, packet by
// packet, as a player built on FFmpeg reads it.
#ifndef BXF_BENCH_PEER_READER_H
#define BXF_BENCH_PEER_READER_H

#include "packet_list.h"

struct AVFormatContext;
struct AVPacket;

struct PeerMovie {
    AVFormatContext *context = nullptr;
    AVPacket *packet = nullptr;
};

// avformat_open_input with the edit lists ignored, so that its packets are
// the raw samples of the tables, as the library reports them. No
// avformat_find_stream_info: the demuxer already knows every stream from
// the sample descriptions, and probing would decode frames. false on failure.
bool open_peer_movie(const char *path, PeerMovie &movie);
void close_peer_movie(PeerMovie &movie);

// av_read_frame: the next packet, its bytes in libavformat's own buffer.
// false at the end of the file or on an error.
bool read_peer_packet(PeerMovie &movie, PacketRecord *record);

#endif
