// The filter's IKeyFrameInfo: the sync samples of the track the video pin
// plays, in that pin's stream time.
#include <dshow.h>

#include "key_frames.h"
#include "mp4_file.h"
#include "track_stream.h"

bool CMP4file::VideoKeyFrameTrack(KeyFrameTrack* track) {
    CAutoLock lock(&m_cStateLock);
    CTrackStream* pin = PinPlaying(TrackKind::Video);
    if (!pin) return false;
    const TrackFacts* facts = FindTrack(pin->Track());
    *track = {play_, &streaming_lock_, pin->Track(), facts && facts->kind_code == BXF_FORMAT_TYPE_AVC1};
    return true;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetKeyFrameCount(LONG* count) {
    if (!count) return E_POINTER;
    *count = 0;
    KeyFrameTrack track;
    if (!VideoKeyFrameTrack(&track)) return E_UNEXPECTED;
    return CountKeyFrames(track, count);
}

// An array shorter than the key frames is filled and S_FALSE returned.
HRESULT STDMETHODCALLTYPE CMP4file::GetKeyFrames(const GUID* format, REFERENCE_TIME* times, LONG* count) {
    if (!times || !count) return E_POINTER;
    if (format && *format != TIME_FORMAT_MEDIA_TIME) return E_INVALIDARG;
    if (*count < 0) return E_INVALIDARG;
    KeyFrameTrack track;
    if (!VideoKeyFrameTrack(&track)) {
        *count = 0;
        return E_UNEXPECTED;
    }
    const LONG capacity = *count;
    return KeyFrameTimes(track, times, capacity, count);
}
