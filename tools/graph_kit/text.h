// Text between Windows' UTF-16 and the UTF-8 of command lines and reports: paths, GUIDs, HRESULTs, JSON strings.
#ifndef KELO_TOOLS_GRAPH_KIT_TEXT_H
#define KELO_TOOLS_GRAPH_KIT_TEXT_H

#include <windows.h>

#include <string>

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
// A Unix absolute path as Wine's Z: drive shows it, slashes turned round; other paths only converted.
std::wstring WindowsPath(const std::string& utf8_path);
std::string GuidText(const GUID& guid);           // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
std::string HresultText(HRESULT hr);              // 0x8004022f
std::string JsonString(const std::string& utf8);  // quoted and escaped

#endif
