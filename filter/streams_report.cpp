// The filter's IKeloStreams: the container brand, the duration, each track
// as the stream selection names it, and what each pin has delivered.
#include <cwchar>

#include "mp4_file.h"
#include "track_language.h"
#include "track_stream.h"

namespace {

std::wstring Seconds(REFERENCE_TIME time) {
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%.3f s", time / 1e7);
    return text;
}

std::wstring SizeOrRate(const TrackFacts& track) {
    wchar_t text[32];
    if (track.kind == TrackKind::Video)
        std::swprintf(text, sizeof text / sizeof text[0], L"%ux%u", track.width, track.height);
    else
        std::swprintf(text, sizeof text / sizeof text[0], L"%u Hz", track.sample_rate);
    return text;
}

}  // namespace

std::wstring ReadBrand(const MovieRecord& movie, const FileReader& read) {
    // major_brand, minor_version, then the compatible brands.
    constexpr uint32_t kMostBytes = 8 + 4 * 8;
    const uint64_t size = movie.ftyp_body.size < kMostBytes ? movie.ftyp_body.size : kMostBytes;
    BYTE bytes[kMostBytes];
    if (movie.ftyp_body.offset == 0 || size < 4 || !read(movie.ftyp_body.offset, static_cast<uint32_t>(size), bytes))
        return L"none";
    auto brand = [&](uint32_t at) {
        std::wstring text;
        for (uint32_t i = at; i < at + 4; ++i) text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? bytes[i] : L'?';
        return text;
    };
    std::wstring text = brand(0);
    if (size >= 12) {
        text += L" (";
        for (uint32_t at = 8; at + 4 <= size; at += 4) text += (at > 8 ? L" " : L"") + brand(at);
        text += L")";
    }
    return text;
}

HRESULT STDMETHODCALLTYPE CMP4file::GetStreamsReport(WCHAR** report) {
    if (!report) return E_POINTER;
    *report = nullptr;
    CAutoLock lock(&m_cStateLock);
    REFERENCE_TIME duration = 0;
    for (const TrackFacts& track : tracks_) duration = track.duration > duration ? track.duration : duration;
    std::wstring text = L"Brand\t" + brand_ + L"\n" + L"Duration\t" + Seconds(duration) + L"\n\n";
    text += L"Track\tKind\tFormat\tLanguage\tSize or rate\tSamples\tPin\n";
    for (const TrackFacts& track : tracks_) {
        CTrackStream* pin = PinPlaying(track.kind);
        const bool playing = pin && pin->Track() == track.number;
        char letters[4];
        LanguageLetters(track.language, letters);
        text += std::to_wstring(track.number) + L"\t" + (track.kind == TrackKind::Audio ? L"audio" : L"video") + L"\t" +
                track.format + L"\t" + std::wstring(letters, letters + std::char_traits<char>::length(letters)) +
                L"\t" + SizeOrRate(track) + L"\t" + std::to_wstring(track.sample_count) + L"\t" +
                (playing ? L"plays, " + std::to_wstring(pin->Delivered()) + L" delivered" : L"-") + L"\n";
    }
    *report = static_cast<WCHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (!*report) return E_OUTOFMEMORY;
    wmemcpy(*report, text.c_str(), text.size() + 1);
    return S_OK;
}
