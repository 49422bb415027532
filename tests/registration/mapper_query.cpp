// What a module's registration leaves in COM and in the DirectShow filter mapper, asked the way an application
// finds filters: IFilterMapper2's EnumMatchingFilters, each match's moniker property bag, and the class keys. The
// filter's record (merit, pin flags, types in order) must be byte for byte the one the mapper itself writes for the
// expected registration.
//
//   mapper_query registered MODULE_PATH   the Kelo Mervane filter is registered once, served by MODULE_PATH
//   mapper_query absent                   no trace of it is left
//
// tests/package/check_install.py runs it in the Wine prefix of its install after each regsvr32 step.
#include <dshow.h>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <windows.h>

// After the SDK headers: only the GUIDs defined below and the module's own are given storage in this program.
#include <initguid.h>

#include <string>
#include <vector>

#include "com_apartment.h"
#include "com_ptr.h"
#include "kelo_guids.h"
#include "text.h"

namespace {

// Wave-format-tag subtypes: the tag in the first field ({0000XXXX-0000-0010-8000-00AA00389B71}).
DEFINE_GUID(kWaveTag0278, 0x00000278, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(kWaveTag0279, 0x00000279, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
DEFINE_GUID(kWaveTag027A, 0x0000027a, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71);
// {5D0A3F1E-2C4B-4E8A-9E61-7B3C2D1A0F99}: the reference entry registered with the expected record and removed again.
DEFINE_GUID(kReferenceEntry, 0x5d0a3f1e, 0x2c4b, 0x4e8a, 0x9e, 0x61, 0x7b, 0x3c, 0x2d, 0x1a, 0x0f, 0x99);
// The category the mapper files a filter under when none is given.
const wchar_t kDefaultCategoryInstances[] = L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\";

constexpr DWORD kMerit = 0x00800000;
constexpr DWORD kPinFlags = REG_PINFLAG_B_MANY | REG_PINFLAG_B_OUTPUT;

struct TypeRow {
    const char* label;
    GUID major, minor;
};

// Exactly the types of the filter's one pin, in order.
const TypeRow kRegistered[] = {
    {"Stream/KeloStreamMP4", MEDIATYPE_Stream, MEDIASUBTYPE_KeloStreamMP4},
    {"Stream/KeloStream3GP", MEDIATYPE_Stream, MEDIASUBTYPE_KeloStream3GP},
    {"Audio/wave tag 0x0278", MEDIATYPE_Audio, kWaveTag0278},
    {"Audio/wave tag 0x027A", MEDIATYPE_Audio, kWaveTag027A},
    {"Video/KeloVideoAVC", MEDIATYPE_Video, MEDIASUBTYPE_KeloVideoAVC},
    {"Video/KeloVideoMP4V", MEDIATYPE_Video, MEDIASUBTYPE_KeloVideoMP4V},
};

// Output types that must not find it.
const TypeRow kUnregistered[] = {
    {"Audio/PCM: what the PCM pin delivers is not what the filter registers", MEDIATYPE_Audio, MEDIASUBTYPE_PCM},
    {"Audio/wave tag 0x0279, between the two registered ones", MEDIATYPE_Audio, kWaveTag0279},
    {"Video/KeloStreamMP4: a registered subtype under another major type", MEDIATYPE_Video, MEDIASUBTYPE_KeloStreamMP4},
    {"Stream/KeloVideoAVC: the same the other way", MEDIATYPE_Stream, MEDIASUBTYPE_KeloVideoAVC},
    {"Stream/Avi", MEDIATYPE_Stream, MEDIASUBTYPE_Avi},
};

std::wstring g_module;  // the module path a "registered" run expects
ComPtr<IFilterMapper2> g_mapper;

std::wstring GuidString(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// One moniker the mapper enumerated, as its property bag describes it.
struct MapperEntry {
    std::wstring friendly_name, clsid;
    std::vector<uint8_t> filter_data;
};

// A property bag value as a string, or the bytes of a byte array.
std::wstring BagString(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    std::wstring text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}
std::vector<uint8_t> BagBytes(IPropertyBag* bag, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_UI1;
    std::vector<uint8_t> bytes;
    void* data = nullptr;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == (VT_ARRAY | VT_UI1) &&
        SUCCEEDED(SafeArrayAccessData(value.parray, &data))) {
        const auto* first = static_cast<const uint8_t*>(data);
        bytes.assign(first, first + value.parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(value.parray);
    }
    VariantClear(&value);
    return bytes;
}

// The entries of `clsid` among the filters the mapper matches at `merit` or above; with `type`, only those with an
// output pin of that type.
std::vector<MapperEntry> Matches(const CLSID& clsid, DWORD merit, const TypeRow* type = nullptr) {
    std::vector<MapperEntry> found;
    const GUID types[2] = {type ? type->major : GUID_NULL, type ? type->minor : GUID_NULL};
    ComPtr<IEnumMoniker> monikers;
    ComPtr<IBindCtx> context;
    EXPECT_EQ(
        g_mapper->EnumMatchingFilters(monikers.Receive(), 0, FALSE, merit, FALSE, 0, nullptr, nullptr, nullptr, FALSE,
                                      type != nullptr, type ? 1 : 0, type ? types : nullptr, nullptr, nullptr),
        S_OK);
    if (!monikers || FAILED(CreateBindCtx(0, context.Receive()))) return found;
    for (ComPtr<IMoniker> moniker; monikers->Next(1, moniker.Receive(), nullptr) == S_OK;) {
        ComPtr<IPropertyBag> bag;
        EXPECT_EQ(moniker->BindToStorage(context.Get(), nullptr, IID_IPropertyBag, bag.ReceiveVoid()), S_OK);
        if (bag && SameText(BagString(bag.Get(), L"CLSID"), GuidString(clsid)))
            found.push_back(
                {BagString(bag.Get(), L"FriendlyName"), GuidString(clsid), BagBytes(bag.Get(), L"FilterData")});
    }
    return found;
}

// The record the mapper writes for the expected registration, from a reference entry registered and removed again.
std::vector<uint8_t> ExpectedFilterData() {
    std::vector<REGPINTYPES> types;
    for (const TypeRow& type : kRegistered) types.push_back({&type.major, &type.minor});
    REGFILTERPINS pin = {};
    pin.strName = const_cast<wchar_t*>(L"Output");
    pin.bOutput = (kPinFlags & REG_PINFLAG_B_OUTPUT) != 0;
    pin.bMany = (kPinFlags & REG_PINFLAG_B_MANY) != 0;
    pin.clsConnectsToFilter = &CLSID_NULL;
    pin.nMediaTypes = UINT(types.size());
    pin.lpMediaType = types.data();
    REGFILTER2 record = {};
    record.dwVersion = 1;
    record.dwMerit = kMerit;
    record.cPins = 1;
    record.rgPins = &pin;
    EXPECT_EQ(g_mapper->RegisterFilter(kReferenceEntry, L"reference", nullptr, nullptr, nullptr, &record), S_OK);
    const std::vector<MapperEntry> reference = Matches(kReferenceEntry, 0);
    g_mapper->UnregisterFilter(nullptr, nullptr, kReferenceEntry);
    EXPECT_EQ(reference.size(), 1u);
    return reference.empty() ? std::vector<uint8_t>() : reference[0].filter_data;
}

// A string value under HKCR, or "<absent>".
std::wstring ClassesValue(const std::wstring& key, const wchar_t* value) {
    wchar_t text[512] = {};
    DWORD bytes = sizeof text;
    return RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) == ERROR_SUCCESS
               ? text
               : L"<absent>";
}

bool ClassesKeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

TEST(Registered, OneMapperEntryOfTheExpectedRecordInTheDefaultCategory) {
    const std::vector<MapperEntry> own = Matches(CLSID_KeloMervane, kMerit);
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(Utf8(own[0].friendly_name), "Kelo Mervane");
    EXPECT_EQ(own[0].filter_data, ExpectedFilterData()) << "merit, pin flags and the types in order";
    EXPECT_TRUE(Matches(CLSID_KeloMervane, kMerit + 1).empty());
    EXPECT_TRUE(ClassesKeyExists(kDefaultCategoryInstances + GuidString(CLSID_KeloMervane)));
    EXPECT_TRUE(Matches(CLSID_KeloMervaneProperties, 0).empty()) << "the property page is no filter";
}

TEST(Registered, FoundThroughEachRegisteredOutputTypeAndNoOther) {
    for (const TypeRow& type : kRegistered)
        EXPECT_EQ(Matches(CLSID_KeloMervane, kMerit, &type).size(), 1u) << type.label;
    for (const TypeRow& type : kUnregistered) EXPECT_TRUE(Matches(CLSID_KeloMervane, 0, &type).empty()) << type.label;
}

TEST(Registered, EachClassIsServedByTheModuleInBothApartments) {
    const struct {
        const CLSID* clsid;
        const char* name;
    } classes[] = {{&CLSID_KeloMervane, "Kelo Mervane"},
                   {&CLSID_KeloMervaneProperties, "Kelo File Source Property Page"},
                   {&CLSID_KeloMervaneStreams, "Kelo File Source Streams Page"}};
    for (const auto& c : classes) {
        const std::wstring key = L"CLSID\\" + GuidString(*c.clsid);
        EXPECT_EQ(Utf8(ClassesValue(key, nullptr)), c.name);
        EXPECT_TRUE(SameText(ClassesValue(key + L"\\InprocServer32", nullptr), g_module)) << c.name;
        EXPECT_EQ(Utf8(ClassesValue(key + L"\\InprocServer32", L"ThreadingModel")), "Both") << c.name;
    }
}

TEST(Absent, NoTraceIsLeft) {
    // The same query must see Wine's own file source, or an empty answer proves nothing.
    EXPECT_EQ(Matches(CLSID_AsyncReader, 0).size(), 1u);
    EXPECT_TRUE(Matches(CLSID_KeloMervane, 0).empty());
    for (const TypeRow& type : kRegistered) EXPECT_TRUE(Matches(CLSID_KeloMervane, 0, &type).empty()) << type.label;
    for (const CLSID* clsid : {&CLSID_KeloMervane, &CLSID_KeloMervaneProperties, &CLSID_KeloMervaneStreams})
        EXPECT_FALSE(ClassesKeyExists(L"CLSID\\" + GuidString(*clsid)));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (!((command == L"registered" && argc == 3) || (command == L"absent" && argc == 2))) {
        std::fprintf(stderr, "usage: mapper_query registered MODULE_PATH | absent\n");
        return 2;
    }
    if (argc == 3) g_module = argv[2];
    GTEST_FLAG_SET(filter, command == L"registered" ? "Registered.*" : "Absent.*");
    ComApartment apartment;
    if (FAILED(apartment.Result()) || FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                                              IID_IFilterMapper2, g_mapper.ReceiveVoid()))) {
        std::fprintf(stderr, "mapper_query: no COM or no filter mapper\n");
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    g_mapper.Reset();
    return result;
}
