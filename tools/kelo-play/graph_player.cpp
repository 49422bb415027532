#include "graph_player.h"

#include <evcode.h>
#include <uuids.h>

#include "first_pin.h"
#include "text.h"

namespace {

std::wstring PinName(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return L"?";
    if (info.pFilter) info.pFilter->Release();
    info.achName[MAX_PIN_NAME - 1] = L'\0';
    return info.achName;
}

}  // namespace

PlayExit GraphPlayer::Fail(PlayResult* result, const std::string& message, HRESULT hr) {
    result->status = "setup_failed";
    result->message = message + (hr == S_OK ? "" : ": " + HresultText(hr));
    return kExitSetup;
}

PlayExit GraphPlayer::LoadFile(PlayResult* result) {
    ComPtr<IFileSourceFilter> file;
    HRESULT hr;
    if (!options_.parser) {
        if (FAILED(hr = filter_.QueryTo(IID_IFileSourceFilter, &file)))
            return Fail(result, "the filter has no IFileSourceFilter", hr);
        if (FAILED(hr = file->Load(options_.file.c_str(), nullptr)))
            return Fail(result, "IFileSourceFilter::Load(" + Utf8(options_.file) + ") failed", hr);
        return kExitComplete;
    }
    // A parser: File Source (Async) reads the file and feeds its input pin.
    hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reader_.ReceiveVoid());
    if (FAILED(hr)) return Fail(result, "cannot create File Source (Async)", hr);
    if (FAILED(hr = graph_->AddFilter(reader_.Get(), L"File Source (Async)")))
        return Fail(result, "cannot add File Source (Async) to the graph", hr);
    if (FAILED(hr = reader_.QueryTo(IID_IFileSourceFilter, &file)) ||
        FAILED(hr = file->Load(options_.file.c_str(), nullptr)))
        return Fail(result, "File Source (Async) cannot load " + Utf8(options_.file), hr);
    const ComPtr<IPin> out = FirstPin(reader_.Get(), PINDIR_OUTPUT);
    const ComPtr<IPin> in = FirstPin(filter_.Get(), PINDIR_INPUT);
    if (!out || !in) return Fail(result, "--parser: the filter has no input pin", S_OK);
    if (FAILED(hr = graph_->ConnectDirect(out.Get(), in.Get(), nullptr)))
        return Fail(result, "cannot connect File Source (Async) to the filter", hr);
    return kExitComplete;
}

PlayExit GraphPlayer::Build(PlayResult* result) {
    std::string error;
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph_.ReceiveVoid());
    if (FAILED(hr)) return Fail(result, "cannot create the filter graph", hr);
    if (FAILED(hr = graph_.QueryTo(IID_IMediaControl, &control_)) ||
        FAILED(hr = graph_.QueryTo(IID_IMediaSeeking, &seeking_)) ||
        FAILED(hr = graph_.QueryTo(IID_IMediaEvent, &events_)))
        return Fail(result, "the filter graph lacks an interface", hr);

    if (!factory_.Create(options_.module, options_.clsid, &filter_, &error)) return Fail(result, error, S_OK);
    if (FAILED(hr = graph_->AddFilter(filter_.Get(), L"Source"))) return Fail(result, "cannot add the filter", hr);
    if (LoadFile(result) != kExitComplete) return kExitSetup;

    // Every output pin into a sink of its own, named after it.
    ComPtr<IEnumPins> pins;
    if (FAILED(hr = filter_->EnumPins(pins.Receive()))) return Fail(result, "IBaseFilter::EnumPins failed", hr);
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.Receive(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
        PlayedPin played;
        played.name = PinName(pin.Get());
        played.pin = pin;
        RecordingSink* sink = nullptr;
        if (FAILED(hr = RecordingSink::Create(played.name.c_str(), &sink))) return Fail(result, "no memory", hr);
        played.sink = ComPtr<RecordingSink>::Attach(sink);
        sink->KeepBytes(!options_.dump_dir.empty());
        if (FAILED(hr = graph_->AddFilter(sink, played.name.c_str())))
            return Fail(result, "cannot add a sink for pin \"" + Utf8(played.name) + "\"", hr);
        if (FAILED(hr = graph_->ConnectDirect(pin.Get(), sink->InputPin(), nullptr)))
            return Fail(result, "cannot connect pin \"" + Utf8(played.name) + "\" to its sink", hr);
        played.type = sink->ConnectedType();
        pins_.push_back(std::move(played));
    }
    if (pins_.empty()) return Fail(result, "the filter has no output pin", S_OK);

    if (!options_.realtime) {
        ComPtr<IMediaFilter> media_filter;
        if (FAILED(hr = graph_.QueryTo(IID_IMediaFilter, &media_filter)) ||
            FAILED(hr = media_filter->SetSyncSource(nullptr)))
            return Fail(result, "cannot take the clock away from the graph", hr);
    }
    if (options_.start || options_.stop) {
        LONGLONG start = options_.start.value_or(0), stop = options_.stop.value_or(0);
        hr = seeking_->SetPositions(&start, options_.start ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning,
                                    &stop, options_.stop ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
        if (FAILED(hr)) return Fail(result, "IMediaSeeking::SetPositions (--start/--stop) failed", hr);
    }
    if (options_.rate) {
        // The graph manager keeps SetRate to itself; the sink passes it upstream.
        if (FAILED(hr = pins_.front().sink->SetRate(*options_.rate)))
            return Fail(result, "IMediaSeeking::SetRate (--rate) failed", hr);
    }
    return kExitComplete;
}

PlayExit GraphPlayer::Play(PlayResult* result) {
    result->run_qpc = QpcNow();
    const HRESULT run = control_->Run();
    if (FAILED(run)) {
        TakeRecords();
        return Fail(result, "IMediaControl::Run failed", run);
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(options_.timeout_seconds * 1000);
    bool seeked = false, stop_moved = false;
    PlayExit exit = kExitTimeout;
    result->status = "timeout";
    result->message = "no EC_COMPLETE within the time-out: the graph hangs";
    while (GetTickCount64() < deadline) {
        if (!Reposition(options_.seek_at, false, &seeked, result) ||
            !Reposition(options_.stop_at, true, &stop_moved, result)) {
            exit = kExitAborted;
            break;
        }
        const bool asking = result->type_rounds < options_.type_rounds;
        if (asking && AskPinTypes()) ++result->type_rounds;
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        if (events_->GetEvent(&code, &param1, &param2, asking ? 0 : 10) != S_OK) continue;
        events_->FreeEventParams(code, param1, param2);
        if (code == EC_COMPLETE) {
            result->status = "complete";
            result->message.clear();
            exit = kExitComplete;
            break;
        }
        if (IsAbort(code)) {
            SetAborted(code, param1, result);
            exit = kExitAborted;
            break;
        }
    }
    result->wall_seconds = QpcSeconds(QpcNow() - result->run_qpc);
    control_->Stop();
    // A failing pin ends its stream before it reports the error, so the graph
    // can complete first: once stopped, every report is queued.
    if (exit == kExitComplete) {
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (exit == kExitComplete && events_->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            events_->FreeEventParams(code, param1, param2);
            if (IsAbort(code)) {
                SetAborted(code, param1, result);
                exit = kExitAborted;
            }
        }
    }
    if (options_.seek_at && !seeked && exit == kExitComplete) {
        result->message = "--seek-at: the first pin never reached the seek time";
    }
    if (options_.stop_at && !stop_moved && exit == kExitComplete) {
        result->message = "--stop-at: the first pin never reached the time to move the stop";
    }
    TakeRecords();
    return exit;
}

// --seek-at (a new start) or --stop-at (a new stop), once the first pin's
// media has reached its time; false with the result set when it failed.
bool GraphPlayer::Reposition(const std::optional<SeekAt>& at, bool stop, bool* done, PlayResult* result) {
    REFERENCE_TIME position;
    if (!at || *done || !pins_.front().sink->MediaPosition(&position) || position < at->when) return true;
    *done = true;
    LONGLONG target = at->target;
    const HRESULT hr =
        stop ? seeking_->SetPositions(nullptr, AM_SEEKING_NoPositioning, &target, AM_SEEKING_AbsolutePositioning)
             : seeking_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    if (SUCCEEDED(hr)) return true;
    result->status = "aborted";
    result->message = std::string("IMediaSeeking::SetPositions (") + (stop ? "--stop-at" : "--seek-at") +
                      ") failed: " + HresultText(hr);
    return false;
}

// What a property viewer asks of every pin: all its types, the connection's
// type, and whether it accepts that type again. True when every answer was
// one a connected pin gives.
bool GraphPlayer::AskPinTypes() {
    bool ok = true;
    for (PlayedPin& played : pins_) {
        ComPtr<IEnumMediaTypes> types;
        ok = ok && SUCCEEDED(played.pin->EnumMediaTypes(types.Receive())) && types;
        ULONG offered = 0;
        for (AM_MEDIA_TYPE* type = nullptr; ok && types->Next(1, &type, nullptr) == S_OK; type = nullptr) {
            DeleteMediaType(type);
            ++offered;
        }
        AM_MEDIA_TYPE connection = {};
        ok = ok && offered > 0 && played.pin->ConnectionMediaType(&connection) == S_OK;
        ok = ok && played.pin->QueryAccept(&connection) == S_OK;
        FreeMediaType(connection);
    }
    return ok;
}

bool GraphPlayer::IsAbort(long code) {
    return code == EC_ERRORABORT || code == EC_ERRORABORTEX || code == EC_USERABORT || code == EC_STREAM_ERROR_STOPPED;
}

void GraphPlayer::SetAborted(long code, LONG_PTR param1, PlayResult* result) {
    result->status = "aborted";
    result->message = std::string(code == EC_USERABORT              ? "EC_USERABORT"
                                  : code == EC_STREAM_ERROR_STOPPED ? "EC_STREAM_ERROR_STOPPED"
                                                                    : "EC_ERRORABORT") +
                      ": " + HresultText(static_cast<HRESULT>(param1));
}

void GraphPlayer::TakeRecords() {
    for (PlayedPin& pin : pins_) {
        pin.events = pin.sink->Events();
        pin.bytes = pin.sink->Bytes();
    }
}

void GraphPlayer::Close() {
    if (control_) control_->Stop();
    for (PlayedPin& pin : pins_) pin.pin.Reset();
    events_.Reset();
    seeking_.Reset();
    control_.Reset();
    graph_.Reset();  // the graph lets go of every filter in it
    reader_.Reset();
    filter_.Reset();
    for (PlayedPin& pin : pins_) pin.sink.Reset();
}
