// The table of counters: tag, language, entry point and, for the
// memory-mapped ones, the scanner and its leading-NUL rule. The CLI, the
// fuzzers, the benchmarks and the tests all walk this one table.
#pragma once

#include <span>
#include <string_view>

#include "jobfile/jobview.h"
#include "quirometer/quirometer.h"

namespace qm {

// Entry points that keep module-wide state; the host never overlaps two calls
// of the same group.
enum class Group { None, PclShared, Pdf, Escp2, Canon };

struct CounterInfo {
    const char* tag;        // as the export spells it: GetTotalPageCount_<tag>
    const char* language;   // what it counts, in words
    int ordinal;            // in the DLL's export table
    QmCountFunction entry;  // the exported entry point
    MappedScan scan;        // null for the stream-read counters
    bool skipLeadingNul;
    Group group;
    const char* notJob;     // plain words for a rejected job ("not a ZjStream job")
};

std::span<const CounterInfo> Counters() noexcept;
// Case-insensitive lookup of a tag; null when unknown.
const CounterInfo* FindCounter(std::string_view tag) noexcept;

}  // namespace qm
