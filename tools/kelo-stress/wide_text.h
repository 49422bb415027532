// UTF-16 from the UTF-8 of a command line, for the programs' file arguments.
#ifndef KELO_TOOLS_KELO_STRESS_WIDE_TEXT_H
#define KELO_TOOLS_KELO_STRESS_WIDE_TEXT_H

#include <string>

std::wstring Wide(const char* text);

#endif
