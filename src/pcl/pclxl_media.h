// The media sizes of PCL XL's MediaSize attribute, by enumeration value and
// by name, shared by the export and the accurate page walk.
#pragma once

#include <cstdint>

namespace qm {

struct XlMediaRow {
    const char* name;  // compared over its own length; null: no name
    double a;          // length
    double b;          // width
};

// By enumeration value; the last row also serves every value not listed.
inline constexpr XlMediaRow kXlMedia[] = {
    {"LETTER", 11.0, 8.5},      {"LEGAL", 14.0, 8.5},       {"A4", 11.69, 8.26},      {"EXEC", 10.5, 7.25},
    {"LEDGER", 17.0, 11.0},     {"A3", 16.54, 11.69},       {"COM10", 9.5, 4.125},    {"MONARCH", 7.5, 3.875},
    {"C5", 9.02, 6.38},         {"DL", 8.66, 4.33},         {"JB4", 13.94, 9.84},     {"JB5", 10.12, 7.17},
    {"B5", 9.84, 6.93},         {nullptr, 11.0, 8.5},       {"JPOSTCARD", 3.94, 5.83}, {"JDOUBLEPOSTCARD", 7.87, 5.83},
    {"A5", 8.27, 5.83},         {"A6", 5.83, 4.13},         {"JB6", 7.17, 5.04},      {nullptr, 11.0, 8.5},
};
inline constexpr uint32_t kXlMediaOther = 19;
inline constexpr uint32_t kXlMediaEnumerations = 19;  // 0 to 18

}  // namespace qm
