// Version 2: GetProcessMemoryInfo is kernel32's, no psapi.dll import.
#define PSAPI_VERSION 2
#include "stream_choices.h"

#include <dshow.h>
#include <psapi.h>

#include <vector>

#include "com_ptr.h"
#include "key_frame_info.h"
#include "media_type.h"
#include "sink_event.h"
#include "text.h"

namespace {

const char* KindWord(const AM_MEDIA_TYPE* type) {
    if (!type) return "none";
    if (type->majortype == MEDIATYPE_Audio) return "audio";
    if (type->majortype == MEDIATYPE_Video) return "video";
    return "other";
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

}  // namespace

bool ListStreams(IBaseFilter* filter, FILE* out, std::string* error) {
    ComPtr<IAMStreamSelect> select;
    DWORD count = 0;
    HRESULT hr;
    if (FAILED(hr = filter->QueryInterface(IID_IAMStreamSelect, select.ReceiveVoid())) ||
        FAILED(hr = select->Count(&count))) {
        *error = "IAMStreamSelect: " + HresultText(hr);
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        DWORD flags = 0, group = 0;
        LCID lcid = 0;
        WCHAR* name = nullptr;
        IUnknown* object = nullptr;
        if (FAILED(hr = select->Info(static_cast<LONG>(i), &type, &flags, &lcid, &group, &name, &object, nullptr))) {
            *error = "IAMStreamSelect::Info(" + std::to_string(i) + "): " + HresultText(hr);
            return false;
        }
        std::fprintf(out, "stream %lu: %s, group %lu, lcid 0x%04lx, %s, \"%s\"\n", static_cast<unsigned long>(i),
                     KindWord(type), static_cast<unsigned long>(group), static_cast<unsigned long>(lcid),
                     (flags & AMSTREAMSELECTINFO_ENABLED) ? "enabled" : "not enabled", name ? Utf8(name).c_str() : "");
        if (type) DeleteMediaType(type);
        CoTaskMemFree(name);
        if (object) object->Release();
    }
    return true;
}

HRESULT SelectStream(IBaseFilter* filter, long index) {
    ComPtr<IAMStreamSelect> select;
    HRESULT hr = filter->QueryInterface(IID_IAMStreamSelect, select.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return select->Enable(index, AMSTREAMSELECTENABLE_ENABLE);
}

namespace {

// One count and fetch of the key frames, timed, with the process's private
// memory growth over it.
struct KeyFrameFetch {
    std::vector<REFERENCE_TIME> times;
    double milliseconds = 0;
    long long private_growth = 0;
};

bool FetchKeyFrames(IKeyFrameInfo* info, KeyFrameFetch* fetch, std::string* error) {
    const SIZE_T before = PrivateBytes();
    const LONGLONG begin = QpcNow();
    LONG count = 0;
    HRESULT hr = info->GetKeyFrameCount(&count);
    if (FAILED(hr)) {
        *error = "IKeyFrameInfo::GetKeyFrameCount: " + HresultText(hr);
        return false;
    }
    fetch->times.assign(static_cast<size_t>(count), 0);
    LONG filled = count;
    hr = info->GetKeyFrames(&TIME_FORMAT_MEDIA_TIME, fetch->times.data(), &filled);
    fetch->milliseconds = QpcSeconds(QpcNow() - begin) * 1000;
    fetch->private_growth = static_cast<long long>(PrivateBytes()) - static_cast<long long>(before);
    if (hr != S_OK || filled != count) {
        *error = "IKeyFrameInfo::GetKeyFrames: " + HresultText(hr) + ", " + std::to_string(filled) + " of " +
                 std::to_string(count);
        return false;
    }
    return true;
}

}  // namespace

bool PrintKeyFrames(IBaseFilter* filter, FILE* out, std::string* error) {
    ComPtr<IKeyFrameInfo> info;
    HRESULT hr = filter->QueryInterface(IID_IKeyFrameInfo, info.ReceiveVoid());
    if (FAILED(hr)) {
        *error = "IKeyFrameInfo: " + HresultText(hr);
        return false;
    }
    // Twice: the first asks loads the library's table windows, the second
    // shows that nothing more is held.
    KeyFrameFetch first, again;
    if (!FetchKeyFrames(info.Get(), &first, error) || !FetchKeyFrames(info.Get(), &again, error)) return false;
    std::fprintf(out,
                 "key frames %zu in %.3f ms, private bytes %+lld; again in %.3f ms, %+lld (the times' array: %zu "
                 "bytes)\n",
                 first.times.size(), first.milliseconds, first.private_growth, again.milliseconds, again.private_growth,
                 first.times.size() * sizeof(REFERENCE_TIME));
    std::fprintf(out, "key frame times:");
    for (const REFERENCE_TIME time : first.times) std::fprintf(out, " %.7f", time / 1e7);
    std::fprintf(out, "\n");
    return true;
}
