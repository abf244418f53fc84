// What the tool prints: a text line or a JSON object per file, warnings,
// explanations of failures, and the totals of a spool folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "counting.h"

namespace qmcli {

std::string Hex(int32_t code);
std::string JsonString(const std::string& s);
std::string JsonNumber(double v);

// A plain explanation of a failed outcome.
std::string Explain(const Outcome& o, Mode mode);
// "counted as X, but the job looks like Y", for a forced language the job
// plainly is not written in.
std::string MismatchWarning(const Outcome& o);

std::string CountText(const std::string& file, const Outcome& o, Mode mode);
// One JSON object; `extra` (",\"key\":value..." or empty) goes before its end.
// With `listPages`, an accurate count's pages as the array "pageList".
std::string CountJson(const std::string& file, const Outcome& o, Mode mode, const std::string& extra = {},
                      bool listPages = false);

std::string DetectText(const std::string& file, const Outcome& o);
std::string DetectJson(const std::string& file, const Outcome& o);

// Sheets of paper one job takes: each copy on sheets of its own, two pages
// a sheet when two-sided.
uint64_t SheetsOf(uint32_t pages, uint32_t copies, bool duplex);

struct Totals {
    bool accurate = false;   // outcomes of the accurate count: colour pages and paper too
    uint64_t jobs = 0;       // counted
    uint64_t pages = 0;      // pages printed, all copies
    uint64_t sheets = 0;
    uint64_t colorJobs = 0;
    uint64_t failed = 0;     // files not counted
    uint64_t colorPages = 0;         // accurate: pages printed in colour, all copies
    uint64_t monoPages = 0;
    uint64_t colorUnknownPages = 0;
    std::vector<PaperSheets> paper;  // accurate: sheets by paper size

    void Add(const Outcome& o);
    std::string Text() const;
    std::string Json() const;
};

}  // namespace qmcli
