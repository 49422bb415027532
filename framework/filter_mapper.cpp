#include "filter_mapper.h"

#include <dshow.h>

#include "com_ptr.h"

namespace {
// The mapper answers this when the entry to remove is not there.
constexpr HRESULT kNoSuchEntry = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}  // namespace

HRESULT RegisterFilterWithMapper2(IFilterMapper2* mapper, const AMOVIESETUP_FILTER& filter, bool do_register) {
    HRESULT hr = mapper->UnregisterFilter(nullptr, nullptr, *filter.clsID);
    if (hr == kNoSuchEntry) hr = S_OK;
    if (FAILED(hr) || !do_register) return hr;
    REGFILTER2 record = {};
    record.dwVersion = 1;
    record.dwMerit = filter.dwMerit;
    record.cPins = filter.nPins;
    record.rgPins = filter.lpPin;
    hr = mapper->RegisterFilter(*filter.clsID, filter.strName, nullptr, nullptr, nullptr, &record);
    return hr == kNoSuchEntry ? S_OK : hr;
}

// The older mapper takes the same record a call at a time.
HRESULT RegisterFilterWithMapper1(IFilterMapper* mapper, const AMOVIESETUP_FILTER& filter, bool do_register) {
    HRESULT hr = mapper->UnregisterFilter(*filter.clsID);
    if (hr == kNoSuchEntry) hr = S_OK;
    if (FAILED(hr) || !do_register) return hr;
    hr = mapper->RegisterFilter(*filter.clsID, filter.strName, filter.dwMerit);
    for (UINT p = 0; SUCCEEDED(hr) && p < filter.nPins; ++p) {
        const AMOVIESETUP_PIN& pin = filter.lpPin[p];
        hr = mapper->RegisterPin(*filter.clsID, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                 pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : CLSID_NULL, pin.strConnectsToPin);
        for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t)
            hr = mapper->RegisterPinType(*filter.clsID, pin.strName, *pin.lpMediaType[t].clsMajorType,
                                         *pin.lpMediaType[t].clsMinorType);
    }
    return hr == kNoSuchEntry ? S_OK : hr;
}

HRESULT RegisterFilterWithMapper(const AMOVIESETUP_FILTER& filter, bool do_register) {
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr =
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper.ReceiveVoid());
    if (FAILED(hr)) return hr;
    return RegisterFilterWithMapper2(mapper.Get(), filter, do_register);
}
