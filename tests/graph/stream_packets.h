// The packet tables of the graph tests' media, and the checksum ffprobe gives each packet.
#ifndef KELO_TESTS_GRAPH_STREAM_PACKETS_H
#define KELO_TESTS_GRAPH_STREAM_PACKETS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packet_table.h"
#include "test_graph.h"

// The streams of the file at `unix_path` by index, from the table beside it; throws when there is none.
std::vector<ProbedStream> LoadStreamPacketsOf(const std::string& unix_path);
inline std::string CorpusFile(const std::string& name) { return FixtureFile("KELO_CORPUS", name); }

uint32_t Adler32(const uint8_t* bytes, size_t length);

#endif
