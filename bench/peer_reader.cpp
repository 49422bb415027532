#include "peer_reader.h"

extern "C" {
#include <libavformat/avformat.h>
}

bool open_peer_movie(const char *path, PeerMovie &movie) {
    av_log_set_level(AV_LOG_ERROR);
    AVDictionary *options = nullptr;
    av_dict_set(&options, "ignore_editlist", "1", 0);
    const int ret = avformat_open_input(&movie.context, path, nullptr, &options);
    av_dict_free(&options);
    if (ret < 0) return false;
    movie.packet = av_packet_alloc();
    if (!movie.packet) close_peer_movie(movie);
    return movie.packet != nullptr;
}

void close_peer_movie(PeerMovie &movie) {
    av_packet_free(&movie.packet);
    avformat_close_input(&movie.context);
}

bool read_peer_packet(PeerMovie &movie, PacketRecord *record) {
    AVPacket *p = movie.packet;
    av_packet_unref(p);
    if (av_read_frame(movie.context, p) < 0) return false;
    if (record)
        *record = PacketRecord{uint32_t(p->stream_index + 1), uint64_t(p->pos), uint32_t(p->size),
                               p->dts, p->pts - p->dts, (p->flags & AV_PKT_FLAG_KEY) ? 1u : 0u};
    return true;
}
