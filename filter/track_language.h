// A track's language as the media header stores it (ISO 639-2/T or /B, three
// letters packed in 15 bits) turned into what Windows names a language by:
// its LCID and its English name.
#ifndef KELO_FILTER_TRACK_LANGUAGE_H
#define KELO_FILTER_TRACK_LANGUAGE_H

#include <windows.h>

#include <cstdint>

struct TrackLanguage {
    LCID lcid = 0;                  // 0: unknown or undetermined
    const wchar_t* name = nullptr;  // English name; null when the code is not known
};

// The language of a packed code; codes outside the table give lcid 0 and no name.
TrackLanguage LanguageOfCode(uint16_t packed);

// The three letters of a packed code, "" when the letters are not a-z.
void LanguageLetters(uint16_t packed, char letters[4]);

// True when the packed code is the language of `ui_language` (a LANGID such as
// GetUserDefaultUILanguage returns), whatever the country.
bool IsUserLanguage(uint16_t packed, LANGID ui_language);

#endif
