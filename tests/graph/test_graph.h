// The graph tests' files and graphs: the kit's FilterGraph on the module under test (KELO_FILTER_MODULE), taking
// the fixtures' Unix paths.
#ifndef KELO_TESTS_GRAPH_TEST_GRAPH_H
#define KELO_TESTS_GRAPH_TEST_GRAPH_H

#include <string>
#include <vector>

#include "filter_graph.h"
#include "text.h"

// The module under test, loaded once.
const FilterModule& TestModule();
// A new filter from it through its class factory.
HRESULT CreateFilter(IBaseFilter** filter);

// A file of the fixture folder that the environment variable `folder` names.
std::string FixtureFile(const char* folder, const std::string& name);
// A file of the PCM media fixture (KELO_PCM_MEDIA) by name.
inline std::string PcmMedia(const std::string& name) { return FixtureFile("KELO_PCM_MEDIA", name); }
std::vector<uint8_t> ReadWholeFile(const std::string& unix_path);
// A file of the tests' own (KELO_SCRATCH), apart from the media that other tests read whole folders of.
std::string ScratchFile(const std::string& name);
bool WriteWholeFile(const std::string& unix_path, const std::vector<uint8_t>& bytes);
// The body of the first box of type `tag` in the file, and where it starts; empty if there is none.
std::vector<uint8_t> BoxBody(const std::vector<uint8_t>& file, const char (&tag)[5], size_t* at);
// A scratch copy of the file named `name`, with `bytes` written over it `offset` bytes after the start of the first
// `anchor` found in it; "" when there is none.
std::string PatchedCopy(const std::string& unix_path, const std::string& name, const std::string& anchor, size_t offset,
                        const std::vector<uint8_t>& bytes);

class TestGraph : public FilterGraph {
public:
    TestGraph() : FilterGraph(TestModule()) {}
    HRESULT Load(const std::string& unix_path) { return FilterGraph::Load(WindowsPath(unix_path)); }
    // Each pin into a sink that keeps the bytes, in the allocator `allocation` says.
    HRESULT Open(const std::string& unix_path, Allocation allocation = Allocation::kFilterChooses) {
        return FilterGraph::Open(WindowsPath(unix_path), {true, allocation, nullptr});
    }
};

#endif
