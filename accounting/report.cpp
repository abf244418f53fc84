#include "report.h"

#include <ctime>
#include <map>

namespace qmacct {

std::optional<GroupBy> GroupByFromName(std::string_view name) {
    if (name == "user") return GroupBy::User;
    if (name == "printer") return GroupBy::Printer;
    if (name == "day") return GroupBy::Day;
    if (name == "month") return GroupBy::Month;
    return std::nullopt;
}

std::string_view GroupByName(GroupBy by) {
    switch (by) {
        case GroupBy::User: return "user";
        case GroupBy::Printer: return "printer";
        case GroupBy::Day: return "day";
        default: return "month";
    }
}

void Totals::Add(const Record& r) {
    switch (r.status) {
        case Status::Printed:
            ++jobs;
            pages += r.Printed();
            colorPages += r.ColorPrinted();
            sheets += r.sheets;
            break;
        case Status::NotCounted: ++notCounted; break;
        case Status::Failed: ++failed; break;
        case Status::Refused: ++refused; break;
    }
}

void Totals::Add(const Totals& t) {
    jobs += t.jobs;
    pages += t.pages;
    colorPages += t.colorPages;
    sheets += t.sheets;
    notCounted += t.notCounted;
    failed += t.failed;
    refused += t.refused;
}

std::string GroupOf(const Record& r, GroupBy by) {
    if (by == GroupBy::User) return r.user;
    if (by == GroupBy::Printer) return r.printer;
    const std::time_t t = static_cast<std::time_t>(r.time);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, by == GroupBy::Day ? "%Y-%m-%d" : "%Y-%m", &tm);
    return buf;
}

std::vector<ReportRow> Summarize(Store& store, const TimeRange& range, GroupBy by) {
    std::map<std::string, Totals> groups;
    store.ForEach(range, [&](const Record& r) { groups[GroupOf(r, by)].Add(r); });
    std::vector<ReportRow> rows;
    rows.reserve(groups.size());
    for (auto& [group, totals] : groups) rows.push_back({group, totals});
    return rows;
}

std::optional<int64_t> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int parts[3] = {0, 0, 0};
    size_t p = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 4 || i == 7) {
            ++p;
            continue;
        }
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        parts[p] = parts[p] * 10 + (text[i] - '0');
    }
    if (parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31) return std::nullopt;
    std::tm tm{};
    tm.tm_year = parts[0] - 1900;
    tm.tm_mon = parts[1] - 1;
    tm.tm_mday = parts[2];
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != parts[2]) return std::nullopt;  // 2026-02-30
    return static_cast<int64_t>(t);
}

std::string CsvField(std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace qmacct
