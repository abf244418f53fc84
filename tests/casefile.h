// Case tables kept as data beside the tests that read them (tests/<family>/cases/*.tsv), so a
// table of jobs and the records they must give reads like the corpus's truth table.
//
// The first line that is not a comment names the columns; a line starting with '#' is a
// comment; columns are separated by tabs. Bytes are written with C escapes (\e is ESC,
// \f \n \r \t \0 \\ and \xHH) and \(N) repeats the byte that follows it N times, so a row
// reads as the job does: "\e&l2X\(3)\f" is ESC & l 2 X and three form feeds.
#pragma once

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "accurate/accurate.h"
#include "accurate_testutil.h"
#include "testutil.h"

namespace qmtest {

// The byte written at `i` (plain or escaped); `i` moves past it.
inline char EscapedByte(std::string_view s, size_t& i, const std::string& where) {
    if (s[i] != '\\') return s[i++];
    const char c = i + 1 < s.size() ? s[i + 1] : '\0';
    i += 2;
    switch (c) {
        case 'e': return '\x1B';
        case 'f': return '\f';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case '0': return '\0';
        case '\\': return '\\';
        case 'x':
            if (i + 2 <= s.size() && std::isxdigit(static_cast<unsigned char>(s[i])) &&
                std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
                i += 2;
                return static_cast<char>(std::stoi(std::string(s.substr(i - 2, 2)), nullptr, 16));
            }
            break;
        default: break;
    }
    ADD_FAILURE() << where << ": a bad escape in \"" << s << '"';
    return '\0';
}

inline std::string Unescape(std::string_view s, const std::string& where) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t repeat = 1;
        if (s.substr(i, 2) == "\\(") {
            const size_t close = s.find(')', i);
            if (close == std::string_view::npos || close + 1 >= s.size()) {
                ADD_FAILURE() << where << ": a repeat with no byte after it in \"" << s << '"';
                break;
            }
            repeat = std::stoul(std::string(s.substr(i + 2, close - i - 2)));
            i = close + 1;
        }
        out.append(repeat, EscapedByte(s, i, where));
    }
    return out;
}

// One row of a case table; `where` is the table and line, for failure messages.
struct CaseRow {
    std::string where;
    std::map<std::string, std::string> cols;

    const std::string& text(const std::string& col) const {
        static const std::string none;
        const auto it = cols.find(col);
        return it == cols.end() ? none : it->second;
    }
    std::string bytes(const std::string& col) const { return Unescape(text(col), where); }
    // A number in decimal, 0x-hex or with a fraction; an empty or missing column is `otherwise`.
    double num(const std::string& col, double otherwise = 0) const {
        const std::string& t = text(col);
        if (t.empty()) return otherwise;
        return t.find_first_of(".eE") != std::string::npos && t.rfind("0x", 0) != 0 ? std::stod(t)
                                                                                    : double(std::stoll(t, nullptr, 0));
    }
    std::string name() const { return where + " " + text("name"); }
};

// The rows of a tab-separated table whose first line names the columns ('#' and empty lines
// are passed over); rows are named `label`:line, the column names go to `header`. What is wrong
// with the table goes to `error`, so truth tables can be read before any test runs.
inline std::vector<CaseRow> ReadTsv(const std::string& path, const std::string& label, std::string& error,
                                    std::vector<std::string>* header = nullptr) {
    std::ifstream in(path);
    if (!in) error += "cannot read " + path + "; ";
    std::vector<std::string> names;
    std::vector<CaseRow> rows;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cols;
        for (size_t from = 0;;) {
            const size_t tab = line.find('\t', from);
            cols.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        if (names.empty()) {
            names = cols;
            if (header != nullptr) *header = names;
            continue;
        }
        CaseRow row{label + ":" + std::to_string(n), {}};
        if (cols.size() > names.size()) error += row.where + ": more columns than the header names; ";
        for (size_t k = 0; k < cols.size() && k < names.size(); ++k) row.cols[names[k]] = cols[k];
        rows.push_back(std::move(row));
    }
    return rows;
}

// The rows of tests/<table>; a table that cannot be read, is malformed or holds no row fails the test.
inline std::vector<CaseRow> ReadCases(const std::string& table) {
    const std::string path = std::string(QM_SOURCE_DIR) + "/tests/" + table;
    std::string error;
    std::vector<CaseRow> rows = ReadTsv(path, table, error);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_FALSE(rows.empty()) << "no cases in " << path;
    return rows;
}

// The record a row states: columns pages, copies, color, duplex, width, length (missing ones
// take Want's defaults) and code ("rejected" for a job the counter refuses, or a number).
inline Want WantOf(const CaseRow& r) {
    Want w;
    w.pages = static_cast<uint32_t>(r.num("pages", w.pages));
    w.copies = static_cast<uint32_t>(r.num("copies", w.copies));
    w.color = static_cast<uint8_t>(r.num("color", w.color));
    w.duplex = static_cast<uint8_t>(r.num("duplex", w.duplex));
    w.width = r.num("width", w.width);
    w.length = r.num("length", w.length);
    if (r.text("code") == "rejected") {
        w.code = kRejected.code;
    } else {
        w.code = static_cast<int32_t>(static_cast<int64_t>(r.num("code", w.code)));
    }
    return w;
}

// Counts the `job` of every row with the counter of `tag` and compares the whole record.
inline void ExpectRecordCases(const char* tag, const std::string& table, bool throughFile = false) {
    for (const CaseRow& r : ReadCases(table)) ExpectRecord(tag, r.name().c_str(), r.bytes("job"), WantOf(r), throughFile);
}

// A yes/no column; an empty one is no.
inline bool Yes(const CaseRow& r, const std::string& col) {
    const std::string& t = r.text(col);
    EXPECT_TRUE(t == "yes" || t == "no" || t.empty()) << r.where << ": " << col << " is yes or no";
    return t == "yes";
}

// Column `lines`: the diagnostic lines one after another, each ending in its line feed.
inline std::vector<std::string> LinesOf(const CaseRow& r) {
    std::vector<std::string> lines;
    const std::string all = r.bytes("lines");
    for (size_t from = 0; from < all.size();) {
        const size_t end = std::min(all.find('\n', from), all.size() - 1) + 1;
        lines.push_back(all.substr(from, end - from));
        from = end;
    }
    return lines;
}

inline void ExpectLinesCases(const char* tag, const std::string& table) {
    for (const CaseRow& r : ReadCases(table)) ExpectLines(tag, r.name().c_str(), r.bytes("job"), LinesOf(r));
}

// Counts the job of every row with `count`; columns as in AccurateWant ("not understood" for
// its code, estimated yes or no).
inline AccurateWant AccurateWantOf(const CaseRow& r) {
    AccurateWant w;
    w.code = r.text("code") == "not understood" ? QM_E_NOT_UNDERSTOOD : int32_t(r.num("code", QM_OK));
    w.pages = uint32_t(r.num("pages"));
    w.copies = uint32_t(r.num("copies", 1));
    w.colour = int(r.num("colour"));
    w.duplex = int(r.num("duplex"));
    w.width = r.num("width");
    w.length = r.num("length");
    w.estimated = Yes(r, "estimated");
    return w;
}

inline void ExpectAccurateCases(int32_t (*count)(qm::Bytes, qm::accurate::Result&), const std::string& table) {
    for (const CaseRow& r : ReadCases(table)) ExpectAccurate(count, {r.name().c_str(), r.bytes("job"), AccurateWantOf(r)});
}

// A bid level by its name in a table: structure, declared, signature, or none.
inline int BidLevel(const std::string& want) {
    return want == "structure"   ? qm::accurate::kBidStructure
           : want == "declared"  ? qm::accurate::kBidDeclared
           : want == "signature" ? qm::accurate::kBidSignature
                                 : qm::accurate::kNoBid;
}

// Whether the language of column `tag` bids for the job (column bid: yes or
// no, or the level itself where it matters).
inline void ExpectBidCases(const std::string& table) {
    for (const CaseRow& r : ReadCases(table)) {
        const std::string job = r.bytes("job"), want = r.text("bid");
        const int bid = qm::accurate::BidOf(*qm::accurate::FindLanguage(r.text("tag")), Guarded(job).bytes());
        if (want == "yes" || want == "no")
            EXPECT_EQ(bid > qm::accurate::kNoBid, want == "yes") << r.name();
        else
            EXPECT_EQ(bid, BidLevel(want)) << r.name();
    }
}

// The bid the language of column `tag` gives (column bid: structure,
// declared, signature or none), for the job `job` builds from the row.
inline void ExpectBidLevels(
    const std::string& table,
    const std::function<std::string(const CaseRow&)>& job = [](const CaseRow& c) { return c.bytes("job"); }) {
    for (const CaseRow& c : ReadCases(table)) {
        const std::string bytes = job(c);
        const int bid = qm::accurate::BidOf(*qm::accurate::FindLanguage(c.text("tag")), Guarded(bytes).bytes());
        EXPECT_EQ(bid, BidLevel(c.text("bid"))) << c.name();
    }
}

}  // namespace qmtest
