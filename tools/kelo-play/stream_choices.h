// What kelo-play asks the source filter beyond playing: its stream list
// (IAMStreamSelect) and its key frames (IKeyFrameInfo).
#ifndef KELO_TOOLS_KELO_PLAY_STREAM_CHOICES_H
#define KELO_TOOLS_KELO_PLAY_STREAM_CHOICES_H

#include <windows.h>
#include <strmif.h>

#include <cstdio>
#include <string>

// One line per stream: index, kind, group, LCID, whether a pin plays it, name.
bool ListStreams(IBaseFilter* filter, FILE* out, std::string* error);

// IAMStreamSelect::Enable(index, AMSTREAMSELECTENABLE_ENABLE).
HRESULT SelectStream(IBaseFilter* filter, long index);

// The key frames' count and times, how long the filter took to give them,
// and how much the process's private memory grew meanwhile.
bool PrintKeyFrames(IBaseFilter* filter, FILE* out, std::string* error);

#endif
