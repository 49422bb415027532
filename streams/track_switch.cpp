// Stream selection: a pin moves to another track of the same sample entry
// type while it keeps its connection, its segment and its place in time.
#include <vfwmsgs.h>

#include <cstring>

#include "media_time.h"
#include "track_stream.h"

namespace {

bool SameType(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
    return a.majortype == b.majortype && a.subtype == b.subtype && a.formattype == b.formattype &&
           a.cbFormat == b.cbFormat && (a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0);
}

}  // namespace

HRESULT CTrackStream::BuildTypeFor(uint32_t track, CMediaType* type) {
    const uint32_t playing = track_;
    track_ = track;
    HRESULT hr = E_FAIL;
    for (int position = 0; position < MediaTypeCount() && hr != S_OK; ++position) {
        CMediaType built;
        if (FAILED(BuildMediaType(position, &built))) break;
        // Connected, the pin keeps its subtype; otherwise its first type does.
        if (!IsConnected() ||
            (built.majortype == CurrentMediaType().majortype && built.subtype == CurrentMediaType().subtype)) {
            *type = built;
            hr = S_OK;
        }
    }
    track_ = playing;
    return hr;
}

// The new track keeps the filter's timeline: its times, edit and types are
// its own; a failure leaves the pin on the track it played.
HRESULT CTrackStream::TakeTrack(uint32_t track) {
    const uint32_t playing = track_;
    track_ = track;
    if (SUCCEEDED(ReadTimeFacts()) && SUCCEEDED(BuildTypes())) return S_OK;
    track_ = playing;
    ReadTimeFacts();
    BuildTypes();
    return E_FAIL;
}

HRESULT CTrackStream::SwitchTrack(uint32_t track) {
    if (track == track_) return S_OK;
    CMediaType type;
    {
        CAutoLock streaming(host_->StreamingLock());
        const HRESULT built = BuildTypeFor(track, &type);
        CMediaType playing;
        BuildTypeFor(track_, &playing);  // the pin's format fields back to its own track
        if (FAILED(built)) return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const bool changed = IsConnected() && !SameType(type, CurrentMediaType());
    if (changed && GetConnected()->QueryAccept(&type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;

    // As a seek does: downstream drops what it holds, the worker leaves its
    // loop and starts again with a new segment.
    const bool streaming = ThreadExists();
    if (streaming) {
        DeliverBeginFlush();
        CallWorker(CMD_STOP);
        DeliverEndFlush();
    }
    HRESULT hr;
    {
        // The filter's lock too: it reads which track the pin plays.
        CAutoLock state(lock_);
        CAutoLock streaming_lock(host_->StreamingLock());
        const REFERENCE_TIME reached = StreamTime(sample_end_);
        hr = TakeTrack(track);
        if (SUCCEEDED(hr)) {
            CMediaType taken;
            BuildTypeFor(track_, &taken);
            if (changed) SetMediaType(&type);
            type_changed_ = changed;
            resume_from_ = streaming && reached > 0 ? reached : -1;
        }
    }
    if (streaming) CallWorker(CMD_RUN);
    return hr;
}
