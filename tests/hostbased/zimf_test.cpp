#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "api/scanners.h"
#include "testutil.h"

using namespace qmtest;

namespace {

std::string Le16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

const std::string kMark = "\xCD\x9A\xA9\xDC";

// A record of the given type; `rest` follows the type field.
std::string Record(uint32_t type, const std::string& rest = "", int64_t size = -1) {
    const uint32_t n = size < 0 ? uint32_t(20 + rest.size()) : uint32_t(size);
    return kMark + Le32(n) + std::string(8, '\0') + Le32(type) + rest;
}
const std::string kPage = Record(13);

struct DevMode {
    uint16_t paperCode = 0, length = 0, width = 0, copies = 1, colour = 0, duplex = 0;
    uint16_t part1 = 0, part2 = 0;  // lengths of the two counted parts before the fields
};

// A settings record whose offset field points right behind itself.
std::string Settings(const DevMode& d) {
    std::string rest = std::string(12, '\0') + Le32(32);
    rest += Le16(d.part1) + std::string(d.part1 + 2u, 'a');
    rest += Le16(d.part2) + std::string(d.part2 + 84u, 'b');
    rest += Le16(d.paperCode) + Le16(d.length) + Le16(d.width) + Le16(100) + Le16(d.copies) + Le16(7) +
            Le16(600) + Le16(d.colour) + Le16(d.duplex);
    return Record(1, rest);
}

struct ZimfCase {
    const char* name;
    std::string job;
    uint32_t pages;
    uint32_t copies;
    uint8_t color;
    uint8_t duplex;
    double width;
    double length;
};

void ExpectZimf(const ZimfCase& c) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(CountWith("ZIMF", c.job, rec), QM_OK) << c.name;
    EXPECT_EQ(rec.pages, c.pages) << c.name;
    EXPECT_EQ(rec.copies, c.copies) << c.name;
    EXPECT_EQ(rec.color, c.color) << c.name;
    EXPECT_EQ(rec.duplex, c.duplex) << c.name;
    EXPECT_EQ(rec.paperWidth, c.width) << c.name;
    EXPECT_EQ(rec.paperLength, c.length) << c.name;
}

TEST(Zimf, WalksRecordsBySize) {
    const ZimfCase cases[] = {
        {"one page record", "ZIMF" + kPage, 1, 1, 0, 0, 0.0, 0.0},
        {"two page records", "ZIMF" + kPage + kPage, 2, 1, 0, 0, 0.0, 0.0},
        {"twenty bytes are not walked", "ZIMF" + kPage.substr(0, 16), 0, 1, 0, 0, 0.0, 0.0},
        {"type cut by the end", "ZIMF" + kPage.substr(0, 17), 0, 1, 0, 0, 0.0, 0.0},
        {"page hidden in another record", "ZIMF" + Record(4, kPage) + kPage, 1, 1, 0, 0, 0.0, 0.0},
        {"wrong mark ends the walk", "ZIMF" + kPage + "XXXX" + kPage.substr(4) + kPage, 1, 1, 0, 0, 0.0, 0.0},
        {"zero-size record ends the walk", "ZIMF" + Record(13, "", 0) + kPage, 1, 1, 0, 0, 0.0, 0.0},
        {"size past the end", "ZIMF" + kPage + Record(4, "", 0xFFFFFFF0) + kPage, 1, 1, 0, 0, 0.0, 0.0},
        {"record mark alone at the end", "ZIMF" + kPage + kMark, 1, 1, 0, 0, 0.0, 0.0},
    };
    for (const ZimfCase& c : cases) ExpectZimf(c);
}

TEST(Zimf, ReadsTheDeviceModeBlock) {
    auto with = [](auto change) {
        DevMode d;
        change(d);
        return "ZIMF" + Settings(d) + kPage;
    };
    const double k = static_cast<double>(0.003937007859349251f);
    const ZimfCase cases[] = {
        {"A4", with([](DevMode& d) { d.paperCode = 9; }), 1, 1, 0, 0, 8.27, 11.69},
        {"ledger stays landscape", with([](DevMode& d) { d.paperCode = 4; }), 1, 1, 0, 0, 17.0, 11.0},
        {"letter", with([](DevMode& d) { d.paperCode = 1; }), 1, 1, 0, 0, 8.5, 11.0},
        {"envelope B6", with([](DevMode& d) { d.paperCode = 35; }), 1, 1, 0, 0, 6.93, 4.92},
        {"last row", with([](DevMode& d) { d.paperCode = 41; }), 1, 1, 0, 0, 8.5, 13.0},
        {"explicit size", with([](DevMode& d) { d.length = 2970, d.width = 2100; }), 1, 1, 0, 0, 8.267716504633427,
         11.692913342267275},
        {"table code ignores explicit size", with([](DevMode& d) { d.paperCode = 5, d.length = 2970; }), 1, 1, 0, 0,
         8.5, 14.0},
        {"driver code past the table", with([](DevMode& d) { d.paperCode = 42, d.length = 1000, d.width = 500; }), 1,
         1, 0, 0, 500 * k, 1000 * k},
        {"driver code 256 without a size", with([](DevMode& d) { d.paperCode = 256; }), 1, 1, 0, 0, 0.0, 0.0},
        {"largest code", with([](DevMode& d) { d.paperCode = 0xFFFF; }), 1, 1, 0, 0, 0.0, 0.0},
        {"copies", with([](DevMode& d) { d.copies = 3; }), 1, 3, 0, 0, 0.0, 0.0},
        {"copies 0 is reported", with([](DevMode& d) { d.copies = 0; }), 1, 0, 0, 0, 0.0, 0.0},
        {"monochrome mode", with([](DevMode& d) { d.colour = 1; }), 1, 1, 0, 0, 0.0, 0.0},
        {"colour mode", with([](DevMode& d) { d.colour = 2; }), 1, 1, 1, 0, 0.0, 0.0},
        {"colour mode 3 is not colour", with([](DevMode& d) { d.colour = 3; }), 1, 1, 0, 0, 0.0, 0.0},
        {"simplex", with([](DevMode& d) { d.duplex = 1; }), 1, 1, 0, 0, 0.0, 0.0},
        {"long-edge duplex", with([](DevMode& d) { d.duplex = 2; }), 1, 1, 0, 1, 0.0, 0.0},
        {"short-edge duplex", with([](DevMode& d) { d.duplex = 3; }), 1, 1, 0, 1, 0.0, 0.0},
        {"counted parts move the fields", with([](DevMode& d) { d.part1 = 300, d.part2 = 17, d.paperCode = 9; }), 1,
         1, 0, 0, 8.27, 11.69},
    };
    for (const ZimfCase& c : cases) ExpectZimf(c);
}

TEST(Zimf, LastSettingsBlockReplacesEveryValue) {
    DevMode first;
    first.paperCode = 9, first.copies = 4, first.colour = 2, first.duplex = 2;
    DevMode second;
    second.length = 2970, second.width = 2100;
    const std::string cut = Settings(first).substr(0, 60);  // fields past the end
    const ZimfCase cases[] = {
        {"second wins", "ZIMF" + Settings(first) + kPage + Settings(second) + kPage, 2, 1, 0, 0, 8.267716504633427,
         11.692913342267275},
        {"first alone", "ZIMF" + Settings(first) + kPage, 1, 4, 1, 1, 8.27, 11.69},
        {"settings cut by the end are not read", "ZIMF" + Settings(first) + kPage + cut, 1, 4, 1, 1, 8.27, 11.69},
        {"settings offset past the end",
         "ZIMF" + Record(1, std::string(12, '\0') + Le32(0xFFFFFFF0)) + kPage, 1, 1, 0, 0, 0.0, 0.0},
        {"counted part past the end",
         "ZIMF" + Record(1, std::string(12, '\0') + Le32(32) + Le16(0xFFFF) + "zz") + kPage, 1, 1, 0, 0, 0.0, 0.0},
    };
    for (const ZimfCase& c : cases) ExpectZimf(c);
}

TEST(Zimf, RejectsJobsWithoutTheSignature) {
    const std::string jobs[] = {"", "ZIMF", "ZIM", "zimf" + kPage, std::string("\0ZIMF", 5) + kPage, "XIMF" + kPage};
    for (const std::string& job : jobs) {
        PageCountResult rec = MarkedRecord();
        EXPECT_EQ(CountWith("ZIMF", job, rec), QM_E_FAIL) << job.size();
        EXPECT_TRUE(IsMarked(rec)) << job.size();
        if (job.empty()) continue;  // an empty file fails at the mapping instead
        rec = MarkedRecord();
        EXPECT_EQ(CountFile("ZIMF", job, rec), QM_E_FAIL) << job.size();
        EXPECT_TRUE(IsMarked(rec)) << job.size();
    }
}

// Records are skipped by their sizes, never read: a record body on an
// unreadable page must not fault.
TEST(Zimf, NeverTouchesSkippedRecords) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    void* map = ::mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(map);
    const size_t start = page - 24;
    const std::string head = "ZIMF" + Record(13, "", 20 + page);
    std::memcpy(base + start, head.data(), head.size());
    const std::string tail = kPage;
    std::memcpy(base + 2 * page, tail.data(), tail.size());
    ASSERT_EQ(::mprotect(base + page, page, PROT_NONE), 0);
    PageCountResult rec{};
    ASSERT_EQ(qm::ScanZIMF(qm::Bytes(base + start, static_cast<uint32_t>(2 * page - start + tail.size())), 0, rec),
              QM_OK);
    EXPECT_EQ(rec.pages, 2u);
    ::munmap(map, 3 * page);
}

}  // namespace
