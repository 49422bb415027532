// Checks what a module's registration left in COM and in the DirectShow filter
// mapper, the way an application finds filters: IFilterMapper2's
// EnumMatchingFilters, each match's moniker property bag, and the class keys.
// The filter's record (merit, pin flags, types in order) must be byte for
// byte the one the mapper itself writes for the expected registration.
//
//   mapper_query registered MODULE_PATH   the Kelo Mervane filter is registered
//                                         once, served by MODULE_PATH
//   mapper_query absent                   no trace of it is left
//
// Prints one line per check; exits 0 when all pass, 1 when any fails, 2 when
// the checks cannot run (usage, COM or mapper unavailable).
#include <dshow.h>
#include <oleauto.h>
#include <windows.h>

// After the SDK headers: only the GUIDs defined below and the module's own
// are given storage in this program.
#include <initguid.h>

#include <cstdio>
#include <string>
#include <vector>

#include "com_apartment.h"
#include "com_ptr.h"
#include "kelo_guids.h"
#include "text.h"

namespace {

// Wave-format-tag subtypes: the tag in the first field, then the bytes every
// such subtype shares ({0000XXXX-0000-0010-8000-00AA00389B71}).
DEFINE_GUID(kWaveTag0278, 0x00000278, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(kWaveTag0279, 0x00000279, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(kWaveTag027A, 0x0000027a, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// {5D0A3F1E-2C4B-4E8A-9E61-7B3C2D1A0F99}: the class of the reference entry the
// check registers with the expected record and removes again.
DEFINE_GUID(kReferenceEntry, 0x5d0a3f1e, 0x2c4b, 0x4e8a, 0x9e, 0x61, 0x7b, 0x3c, 0x2d, 0x1a, 0x0f, 0x99);
// The category the mapper files a filter under when none is given.
const wchar_t kDefaultCategoryInstances[] = L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\";

struct MediaTypeCase {
    const char* label;
    GUID major;
    GUID minor;
};

struct FilterExpectation {
    CLSID clsid;
    const wchar_t* friendly_name;  // as the mapper lists it
    const wchar_t* class_name;     // default value of HKCR\CLSID\{clsid}
    DWORD merit;
    DWORD pin_flags;
    std::vector<MediaTypeCase> registered;    // exactly the types of its one pin, in order
    std::vector<MediaTypeCase> unregistered;  // output types that must not find it
};

FilterExpectation KeloMervane() {
    return {CLSID_KeloMervane,
            L"Kelo Mervane",
            L"Kelo Mervane",
            0x00800000,
            REG_PINFLAG_B_MANY | REG_PINFLAG_B_OUTPUT,
            {{"Stream/KeloStreamMP4", MEDIATYPE_Stream, MEDIASUBTYPE_KeloStreamMP4},
             {"Stream/KeloStream3GP", MEDIATYPE_Stream, MEDIASUBTYPE_KeloStream3GP},
             {"Audio/wave tag 0x0278", MEDIATYPE_Audio, kWaveTag0278},
             {"Audio/wave tag 0x027A", MEDIATYPE_Audio, kWaveTag027A},
             {"Video/KeloVideoAVC", MEDIATYPE_Video, MEDIASUBTYPE_KeloVideoAVC},
             {"Video/KeloVideoMP4V", MEDIATYPE_Video, MEDIASUBTYPE_KeloVideoMP4V}},
            {// What the PCM pin delivers is not what the filter registers.
             {"Audio/PCM", MEDIATYPE_Audio, MEDIASUBTYPE_PCM},
             // The wave tag between the two registered ones.
             {"Audio/wave tag 0x0279", MEDIATYPE_Audio, kWaveTag0279},
             // Registered subtypes under the wrong major type.
             {"Video/KeloStreamMP4", MEDIATYPE_Video, MEDIASUBTYPE_KeloStreamMP4},
             {"Stream/KeloVideoAVC", MEDIATYPE_Stream, MEDIASUBTYPE_KeloVideoAVC},
             {"Stream/Avi", MEDIATYPE_Stream, MEDIASUBTYPE_Avi}}};
}

std::wstring GuidString(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// Counts and prints check results.
class Checks {
public:
    void Expect(bool ok, const std::string& what) {
        std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
        if (!ok) ++failures_;
    }
    int failures() const { return failures_; }

private:
    int failures_ = 0;
};

// A VARIANT cleared when it goes out of scope.
struct ScopedVariant {
    VARIANT value;
    ScopedVariant() { VariantInit(&value); }
    ~ScopedVariant() { VariantClear(&value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};

// One moniker the mapper enumerated, as its property bag describes it.
struct MapperEntry {
    std::wstring friendly_name;
    std::wstring clsid;
    bool has_filter_data = false;
    std::vector<uint8_t> filter_data;
};

std::wstring ReadBagString(IPropertyBag* bag, const wchar_t* name) {
    ScopedVariant value;
    value.value.vt = VT_BSTR;
    if (FAILED(bag->Read(name, &value.value, nullptr)) || value.value.vt != VT_BSTR || !value.value.bstrVal) return {};
    return std::wstring(value.value.bstrVal, SysStringLen(value.value.bstrVal));
}

bool ReadBagBytes(IPropertyBag* bag, const wchar_t* name, std::vector<uint8_t>* bytes) {
    ScopedVariant value;
    value.value.vt = VT_ARRAY | VT_UI1;
    if (FAILED(bag->Read(name, &value.value, nullptr)) || value.value.vt != (VT_ARRAY | VT_UI1)) return false;
    SAFEARRAY* array = value.value.parray;
    LONG lower = 0;
    LONG upper = -1;
    if (!array || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return false;
    const auto* first = static_cast<const uint8_t*>(data);
    bytes->assign(first, first + (upper >= lower ? size_t(upper - lower + 1) : 0));
    SafeArrayUnaccessData(array);
    return true;
}

// Every filter the mapper matches at `merit` or above; with `output_type`,
// only those with an output pin of that type.
HRESULT FindFilters(IFilterMapper2* mapper, DWORD merit, const MediaTypeCase* output_type,
                    std::vector<MapperEntry>* entries) {
    GUID types[2] = {};
    if (output_type) {
        types[0] = output_type->major;
        types[1] = output_type->minor;
    }
    ComPtr<IEnumMoniker> monikers;
    HRESULT hr = mapper->EnumMatchingFilters(monikers.Receive(), 0, FALSE, merit, FALSE, 0, nullptr, nullptr, nullptr,
                                             FALSE, output_type != nullptr, output_type ? 1 : 0,
                                             output_type ? types : nullptr, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    if (!monikers) return E_POINTER;
    ComPtr<IBindCtx> context;
    hr = CreateBindCtx(0, context.Receive());
    if (FAILED(hr)) return hr;
    entries->clear();
    for (;;) {
        ComPtr<IMoniker> moniker;
        hr = monikers->Next(1, moniker.Receive(), nullptr);
        if (hr != S_OK) break;
        ComPtr<IPropertyBag> bag;
        hr = moniker->BindToStorage(context.Get(), nullptr, IID_IPropertyBag, bag.ReceiveVoid());
        if (FAILED(hr)) return hr;
        MapperEntry entry;
        entry.friendly_name = ReadBagString(bag.Get(), L"FriendlyName");
        entry.clsid = ReadBagString(bag.Get(), L"CLSID");
        entry.has_filter_data = ReadBagBytes(bag.Get(), L"FilterData", &entry.filter_data);
        entries->push_back(std::move(entry));
    }
    return FAILED(hr) ? hr : S_OK;
}

// The entries among `entries` that carry the class identifier `clsid`.
std::vector<MapperEntry> EntriesOf(const std::vector<MapperEntry>& entries, const CLSID& clsid) {
    std::vector<MapperEntry> found;
    for (const MapperEntry& entry : entries)
        if (SameText(entry.clsid, GuidString(clsid))) found.push_back(entry);
    return found;
}

// How many mapper entries of `clsid` a query finds; -1 if the query failed.
int CountMatches(IFilterMapper2* mapper, const CLSID& clsid, DWORD merit, const MediaTypeCase* type) {
    std::vector<MapperEntry> entries;
    if (FAILED(FindFilters(mapper, merit, type, &entries))) return -1;
    return int(EntriesOf(entries, clsid).size());
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
    return text;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += byte;
    }
    return text;
}

// The record the mapper writes for `filter`'s one pin: it registers a
// reference entry with it, reads its FilterData back and removes the entry.
bool ExpectedFilterData(IFilterMapper2* mapper, const FilterExpectation& filter, std::vector<uint8_t>* bytes) {
    std::vector<REGPINTYPES> types;
    for (const MediaTypeCase& type : filter.registered) types.push_back({&type.major, &type.minor});
    REGFILTERPINS pin = {};
    pin.strName = const_cast<wchar_t*>(L"Output");
    pin.bRendered = (filter.pin_flags & REG_PINFLAG_B_RENDERER) != 0;
    pin.bOutput = (filter.pin_flags & REG_PINFLAG_B_OUTPUT) != 0;
    pin.bZero = (filter.pin_flags & REG_PINFLAG_B_ZERO) != 0;
    pin.bMany = (filter.pin_flags & REG_PINFLAG_B_MANY) != 0;
    pin.clsConnectsToFilter = &CLSID_NULL;
    pin.nMediaTypes = UINT(types.size());
    pin.lpMediaType = types.data();
    REGFILTER2 record = {};
    record.dwVersion = 1;
    record.dwMerit = filter.merit;
    record.cPins = 1;
    record.rgPins = &pin;
    if (FAILED(mapper->RegisterFilter(kReferenceEntry, L"reference", nullptr, nullptr, nullptr, &record))) return false;
    std::vector<MapperEntry> all;
    const bool found = SUCCEEDED(FindFilters(mapper, 0, nullptr, &all));
    mapper->UnregisterFilter(nullptr, nullptr, kReferenceEntry);
    std::vector<MapperEntry> reference = EntriesOf(all, kReferenceEntry);
    if (!found || reference.size() != 1 || !reference[0].has_filter_data) return false;
    *bytes = reference[0].filter_data;
    return true;
}

void CheckMapperEntry(Checks& checks, IFilterMapper2* mapper, const FilterExpectation& filter) {
    std::vector<MapperEntry> all;
    HRESULT hr = FindFilters(mapper, filter.merit, nullptr, &all);
    checks.Expect(SUCCEEDED(hr),
                  "EnumMatchingFilters at merit " + Hex(filter.merit) + " answers (" + Hex(DWORD(hr)) + ")");
    std::vector<MapperEntry> own = EntriesOf(all, filter.clsid);
    checks.Expect(own.size() == 1, "one mapper entry with CLSID " + Utf8(GuidString(filter.clsid)) + " at merit " +
                                       Hex(filter.merit) + " (found " + std::to_string(own.size()) + ")");
    if (own.size() == 1)
        checks.Expect(
            own[0].friendly_name == filter.friendly_name,
            "FriendlyName \"" + Utf8(own[0].friendly_name) + "\", expected \"" + Utf8(filter.friendly_name) + "\"");
    if (own.size() == 1) {
        std::vector<uint8_t> expected;
        checks.Expect(ExpectedFilterData(mapper, filter, &expected), "the mapper writes the expected record");
        checks.Expect(own[0].has_filter_data && own[0].filter_data == expected,
                      "FilterData is the record of merit " + Hex(filter.merit) + ", one pin of flags " +
                          Hex(filter.pin_flags) + " and the " + std::to_string(filter.registered.size()) +
                          " expected types in order" + (own[0].filter_data == expected ? "" : ": " + HexBytes(own[0].filter_data) + " against " + HexBytes(expected)));
    }
    checks.Expect(CountMatches(mapper, filter.clsid, filter.merit + 1, nullptr) == 0,
                  "not found with a minimum merit of " + Hex(filter.merit + 1));
    for (const MediaTypeCase& type : filter.registered)
        checks.Expect(CountMatches(mapper, filter.clsid, filter.merit, &type) == 1,
                      std::string("found once through its output type ") + type.label);
    for (const MediaTypeCase& type : filter.unregistered)
        checks.Expect(CountMatches(mapper, filter.clsid, 0, &type) == 0,
                      std::string("not found through the unregistered output type ") + type.label);
    std::wstring instance = kDefaultCategoryInstances + GuidString(filter.clsid);
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, instance.c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
    checks.Expect(opened == ERROR_SUCCESS, "the entry lies in the default DirectShow filter category");
}

std::wstring ReadRegistryString(const std::wstring& key, const wchar_t* value, LONG* status) {
    DWORD bytes = 0;
    *status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    if (*status != ERROR_SUCCESS) return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = DWORD(text.size() * sizeof(wchar_t));
    *status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
    if (*status != ERROR_SUCCESS) return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

// HKCR\CLSID\{clsid}: default value `name`, InprocServer32 = `server` (compared without case), ThreadingModel "Both".
void CheckClassKey(Checks& checks, const CLSID& clsid, const wchar_t* name, const std::wstring& server) {
    std::wstring key = L"CLSID\\" + GuidString(clsid);
    std::string where = "HKCR\\" + Utf8(key);
    LONG status = ERROR_SUCCESS;
    std::wstring value = ReadRegistryString(key, nullptr, &status);
    checks.Expect(status == ERROR_SUCCESS && value == name,
                  where + " default value \"" + Utf8(value) + "\", expected \"" + Utf8(name) + "\"");
    value = ReadRegistryString(key + L"\\InprocServer32", nullptr, &status);
    checks.Expect(status == ERROR_SUCCESS && SameText(value, server),
                  where + "\\InprocServer32 \"" + Utf8(value) + "\", expected \"" + Utf8(server) + "\"");
    value = ReadRegistryString(key + L"\\InprocServer32", L"ThreadingModel", &status);
    checks.Expect(status == ERROR_SUCCESS && value == L"Both",
                  where + "\\InprocServer32 ThreadingModel \"" + Utf8(value) + "\", expected \"Both\"");
}

void CheckClassKeyAbsent(Checks& checks, const CLSID& clsid) {
    std::wstring key = L"CLSID\\" + GuidString(clsid);
    HKEY handle = nullptr;
    LONG status = RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle);
    if (status == ERROR_SUCCESS) RegCloseKey(handle);
    checks.Expect(status == ERROR_FILE_NOT_FOUND, "HKCR\\" + Utf8(key) + " is absent");
}

void CheckAbsent(Checks& checks, IFilterMapper2* mapper) {
    // The same query must see Wine's own file source, or an empty answer proves nothing.
    checks.Expect(CountMatches(mapper, CLSID_AsyncReader, 0, nullptr) == 1,
                  "the mapper's listing works: it holds Wine's File Source (Async.)");
    checks.Expect(CountMatches(mapper, CLSID_KeloMervane, 0, nullptr) == 0, "no mapper entry of Kelo Mervane");
    for (const MediaTypeCase& type : KeloMervane().registered)
        checks.Expect(CountMatches(mapper, CLSID_KeloMervane, 0, &type) == 0,
                      std::string("not found through ") + type.label);
    CheckClassKeyAbsent(checks, CLSID_KeloMervane);
    CheckClassKeyAbsent(checks, CLSID_KeloMervaneProperties);
    CheckClassKeyAbsent(checks, CLSID_KeloMervaneStreams);
}

int Usage() {
    std::fprintf(stderr, "usage: mapper_query registered MODULE_PATH | absent\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    std::wstring command = argv[1];
    if (!((command == L"registered" && argc == 3) || (command == L"absent" && argc == 2)))
        return Usage();

    ComApartment apartment;
    if (FAILED(apartment.Result())) {
        std::fprintf(stderr, "mapper_query: CoInitializeEx failed: %s\n", Hex(DWORD(apartment.Result())).c_str());
        return 2;
    }
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr =
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, mapper.ReceiveVoid());
    if (FAILED(hr)) {
        std::fprintf(stderr, "mapper_query: no filter mapper: %s\n", Hex(DWORD(hr)).c_str());
        return 2;
    }

    Checks checks;
    if (command == L"registered") {
        std::wstring module = argv[2];
        CheckMapperEntry(checks, mapper.Get(), KeloMervane());
        CheckClassKey(checks, CLSID_KeloMervane, KeloMervane().class_name, module);
        // The property page is a class of the same module, not a filter: no mapper entry of its own.
        CheckClassKey(checks, CLSID_KeloMervaneProperties, L"Kelo File Source Property Page", module);
        checks.Expect(CountMatches(mapper.Get(), CLSID_KeloMervaneProperties, 0, nullptr) == 0,
                      "no mapper entry of the property page");
        CheckClassKey(checks, CLSID_KeloMervaneStreams, L"Kelo File Source Streams Page", module);
    } else {
        CheckAbsent(checks, mapper.Get());
    }
    std::printf("%d check(s) failed\n", checks.failures());
    return checks.failures() ? 1 : 0;
}
