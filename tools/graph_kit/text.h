// Text helpers for kelo-play's output: UTF-8 from Windows' UTF-16, GUIDs,
// HRESULTs and JSON strings.
#ifndef KELO_TOOLS_KELO_PLAY_TEXT_H
#define KELO_TOOLS_KELO_PLAY_TEXT_H

#include <windows.h>

#include <string>

std::string Utf8(const std::wstring& text);
std::string GuidText(const GUID& guid);           // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
std::string HresultText(HRESULT hr);              // 0x8004022f
std::string JsonString(const std::string& utf8);  // quoted and escaped

#endif
