// Totals of the stored records per user, printer, day or month.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record.h"
#include "store.h"

namespace qmacct {

enum class GroupBy { User, Printer, Day, Month };

std::optional<GroupBy> GroupByFromName(std::string_view name);
std::string_view GroupByName(GroupBy by);

// Pages, colour pages and sheets are what came out of the printer (every
// copy) and count printed jobs only; the other statuses are counted apart.
struct Totals {
    uint64_t jobs = 0;  // printed and counted
    uint64_t pages = 0;
    uint64_t colorPages = 0;
    uint64_t sheets = 0;
    uint64_t notCounted = 0;  // printed, pages not known
    uint64_t failed = 0;
    uint64_t refused = 0;

    void Add(const Record& r);
    void Add(const Totals& t);
};

struct ReportRow {
    std::string group;
    Totals totals;
};

// The group a record falls in; days and months in local time.
std::string GroupOf(const Record& r, GroupBy by);

// One row per group, sorted by group.
std::vector<ReportRow> Summarize(Store& store, const TimeRange& range, GroupBy by);

// Local midnight starting YYYY-MM-DD, or nothing for another text.
std::optional<int64_t> ParseDate(std::string_view text);

// A CSV field, quoted when it must be (RFC 4180).
std::string CsvField(std::string_view s);

}  // namespace qmacct
