// Which files load, which pins they get, and what the filter keeps of a load.
#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#include "test_graph.h"

namespace {

constexpr HRESULT kInvalidFileFormat = static_cast<HRESULT>(0x800A0141);

struct LoadCase {
    const char* file;
    HRESULT result;
    std::vector<std::wstring> pins;
};

class Load : public ::testing::TestWithParam<LoadCase> {};

std::vector<std::wstring> PinNames(IBaseFilter* filter) {
    std::vector<std::wstring> names;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Receive()))) return names;
    for (ComPtr<IPin> pin; pins->Next(1, pin.Receive(), nullptr) == S_OK;) {
        PIN_INFO info;
        pin->QueryPinInfo(&info);
        if (info.pFilter) info.pFilter->Release();
        names.push_back(info.achName);
    }
    return names;
}

TEST_P(Load, ChoosesTracksAsTheFileAllows) {
    const LoadCase& c = GetParam();
    TestGraph graph;
    EXPECT_EQ(graph.Load(PcmMedia(c.file)), c.result);
    ASSERT_TRUE(graph.Filter());
    EXPECT_EQ(PinNames(graph.Filter()), c.pins);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Load,
    ::testing::Values(LoadCase{"twos16_stereo_44100.mov", S_OK, {L"LPCM"}},
                      // Two audio tracks, one audio pin: the first track's.
                      LoadCase{"twos_two_tracks.mov", S_OK, {L"LPCM"}}, LoadCase{"sowt16.mov", S_OK, {L"LPCM"}},
                      LoadCase{"hevc_only.mp4", S_OK, {L"HEVC Video"}},
                      // An audio kind no pin plays goes to the AAC pin, which refuses it at connection.
                      LoadCase{"hevc_alac.mov", S_OK, {L"HEVC Video", L"MPEG4 Audio"}},
                      // Only a track kind no pin plays.
                      LoadCase{"subtitles_only.mp4", kInvalidFileFormat, {}},
                      LoadCase{"not_mp4.mp4", kInvalidFileFormat, {}}, LoadCase{"empty.mp4", kInvalidFileFormat, {}},
                      LoadCase{"no_such_file.mov", kInvalidFileFormat, {}}));

ComPtr<IFileSourceFilter> SourceOf(IBaseFilter* filter) {
    ComPtr<IFileSourceFilter> source;
    filter->QueryInterface(IID_IFileSourceFilter, source.ReceiveVoid());
    return source;
}

// A filter takes one load: later ones fail, after a load that succeeded (its file is kept) or one that failed after
// opening its file (no name is kept).
TEST(LoadOnce, LaterLoadsFailAndKeepWhatTheFirstLeft) {
    for (const auto& [file, result] :
         {std::pair{"twos16_stereo_44100.mov", S_OK}, std::pair{"subtitles_only.mp4", kInvalidFileFormat}}) {
        SCOPED_TRACE(file);
        TestGraph graph;
        ASSERT_EQ(graph.Load(PcmMedia(file)), result);
        ComPtr<IFileSourceFilter> source = SourceOf(graph.Filter());
        for (const char* again : {"twos24_mono_44100.mov", "twos16_stereo_44100.mov"})
            EXPECT_EQ(source->Load(WindowsPath(PcmMedia(again)).c_str(), nullptr), kInvalidFileFormat);
        LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
        ASSERT_EQ(source->GetCurFile(&name, nullptr), S_OK);
        const bool loaded = result == S_OK;
        ASSERT_EQ(name != nullptr, loaded) << "a name only from a load that succeeded";
        if (loaded) {
            EXPECT_EQ(std::wstring(name), WindowsPath(PcmMedia(file)));
        }
        CoTaskMemFree(name);
        EXPECT_EQ(PinNames(graph.Filter()).size(), loaded ? 1u : 0u);
    }
}

// The type given to Load comes back unchanged; without one it is a stream of no subtype.
TEST(CurFile, ReportsNameAndMediaType) {
    AM_MEDIA_TYPE avi = {};
    avi.majortype = MEDIATYPE_Stream;
    avi.subtype = MEDIASUBTYPE_Avi;
    const AM_MEDIA_TYPE* const givens[] = {&avi, nullptr};
    for (const AM_MEDIA_TYPE* given : givens) {
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(CreateFilter(filter.Receive()), S_OK);
        ComPtr<IFileSourceFilter> source = SourceOf(filter.Get());
        EXPECT_EQ(source->Load(nullptr, nullptr), E_POINTER);
        EXPECT_EQ(source->GetCurFile(nullptr, nullptr), E_POINTER);
        const std::wstring path = WindowsPath(PcmMedia("twos8_mono_44100.mov"));
        ASSERT_EQ(source->Load(path.c_str(), given), S_OK);
        LPOLESTR name = nullptr;
        AM_MEDIA_TYPE type = {};
        ASSERT_EQ(source->GetCurFile(&name, &type), S_OK);
        EXPECT_EQ(std::wstring(name), path);
        CoTaskMemFree(name);
        EXPECT_EQ(type.majortype, MEDIATYPE_Stream);
        EXPECT_EQ(type.subtype, given ? MEDIASUBTYPE_Avi : MEDIASUBTYPE_NULL);
    }
}

}  // namespace
