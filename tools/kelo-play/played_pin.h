// One output pin of the played filter, the sink it was connected to, and what
// that sink recorded.
#ifndef KELO_TOOLS_KELO_PLAY_PLAYED_PIN_H
#define KELO_TOOLS_KELO_PLAY_PLAYED_PIN_H

#include <string>
#include <vector>

#include "com_ptr.h"
#include "recording_sink.h"

struct PlayedPin {
    std::wstring name;
    ComPtr<IPin> pin;
    ComPtr<RecordingSink> sink;
    CMediaType type;                // the connection's
    std::vector<SinkEvent> events;  // taken when the graph has stopped
    std::vector<uint8_t> bytes;     // kept only for --dump
};

#endif
