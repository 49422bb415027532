#include "track_language.h"

#include <cstring>

namespace {

struct LanguageRow {
    const char* code;  // the /T code, and the /B one where it differs
    const char* bibliographic;
    LCID lcid;
    const wchar_t* name;
};

// The languages films and recordings are most often dubbed or commented in;
// LCIDs of each language's main country.
constexpr LanguageRow kLanguages[] = {
    {"ara", nullptr, 0x0401, L"Arabic"},    {"bul", nullptr, 0x0402, L"Bulgarian"},
    {"cat", nullptr, 0x0403, L"Catalan"},   {"zho", "chi", 0x0804, L"Chinese"},
    {"ces", "cze", 0x0405, L"Czech"},       {"dan", nullptr, 0x0406, L"Danish"},
    {"deu", "ger", 0x0407, L"German"},      {"ell", "gre", 0x0408, L"Greek"},
    {"eng", nullptr, 0x0409, L"English"},   {"spa", nullptr, 0x0C0A, L"Spanish"},
    {"fin", nullptr, 0x040B, L"Finnish"},   {"fra", "fre", 0x040C, L"French"},
    {"heb", nullptr, 0x040D, L"Hebrew"},    {"hun", nullptr, 0x040E, L"Hungarian"},
    {"isl", "ice", 0x040F, L"Icelandic"},   {"ita", nullptr, 0x0410, L"Italian"},
    {"jpn", nullptr, 0x0411, L"Japanese"},  {"kor", nullptr, 0x0412, L"Korean"},
    {"nld", "dut", 0x0413, L"Dutch"},       {"nor", nullptr, 0x0414, L"Norwegian"},
    {"pol", nullptr, 0x0415, L"Polish"},    {"por", nullptr, 0x0816, L"Portuguese"},
    {"ron", "rum", 0x0418, L"Romanian"},    {"rus", nullptr, 0x0419, L"Russian"},
    {"hrv", nullptr, 0x041A, L"Croatian"},  {"slk", "slo", 0x041B, L"Slovak"},
    {"swe", nullptr, 0x041D, L"Swedish"},   {"tha", nullptr, 0x041E, L"Thai"},
    {"tur", nullptr, 0x041F, L"Turkish"},   {"ukr", nullptr, 0x0422, L"Ukrainian"},
    {"slv", nullptr, 0x0424, L"Slovenian"}, {"vie", nullptr, 0x042A, L"Vietnamese"},
    {"hin", nullptr, 0x0439, L"Hindi"},     {"ind", nullptr, 0x0421, L"Indonesian"},
    {"fas", "per", 0x0429, L"Persian"},     {"srp", nullptr, 0x241A, L"Serbian"},
};

const LanguageRow* FindRow(uint16_t packed) {
    char letters[4];
    LanguageLetters(packed, letters);
    if (letters[0] == '\0') return nullptr;
    for (const LanguageRow& row : kLanguages) {
        if (std::strcmp(row.code, letters) == 0) return &row;
        if (row.bibliographic && std::strcmp(row.bibliographic, letters) == 0) return &row;
    }
    return nullptr;
}

}  // namespace

void LanguageLetters(uint16_t packed, char letters[4]) {
    for (int i = 0; i < 3; ++i) {
        const int value = (packed >> (10 - 5 * i)) & 0x1F;
        if (value < 1 || value > 26) {
            letters[0] = '\0';
            return;
        }
        letters[i] = static_cast<char>(0x60 + value);
    }
    letters[3] = '\0';
}

TrackLanguage LanguageOfCode(uint16_t packed) {
    const LanguageRow* row = FindRow(packed);
    if (!row) return {};
    return {row->lcid, row->name};
}

bool IsUserLanguage(uint16_t packed, LANGID ui_language) {
    const LanguageRow* row = FindRow(packed);
    return row && PRIMARYLANGID(LANGIDFROMLCID(row->lcid)) == PRIMARYLANGID(ui_language);
}
