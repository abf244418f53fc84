// The accurate record walks of the host-based streams: pages at their end
// records, colour from the planes each page sends, settings from the headers,
// and data that looks like records stepped over by its declared length.

#include "hostbased/hostbased_accurate.h"
#include "casefile.h"

using namespace qmtest;
using qm::accurate::Result;

namespace {

// ---- ZjStream: chunk header (size, type, items, reserved, "ZZ"), items.
std::string Zj(uint32_t type, const std::string& body = "", uint16_t reserved = 0) {
    return Be32(uint32_t(16 + body.size())) + Be32(type) + Be32(0) + Be16(reserved) + Be16(0x5A5A) + body;
}
std::string ZjItem(uint16_t id, uint32_t value) { return Be32(12) + Be16(id) + Bin({1, 0}) + Be32(value); }
std::string ZjPage(uint32_t paper, uint32_t copies, uint32_t planes) {
    return Zj(2, ZjItem(3, paper) + ZjItem(4, copies) + ZjItem(7, planes)) + Zj(5, std::string(40, '\x55')) + Zj(3);
}

TEST(AccurateZjStream, PagesAtTheirEndsSettingsFromTheItems) {
    const std::string doc = "JZJZ" + Zj(0, ZjItem(2, 2));
    const AccurateCase cases[] = {
        {"two pages, the second in colour, duplex, A4", doc + ZjPage(9, 2, 1) + ZjPage(9, 2, 4) + Zj(1),
         {.pages = 2, .copies = 2, .colour = 1, .duplex = 1, .width = 8.27, .length = 11.69}},
        {"an end-of-page chunk inside raster data is data",
         doc + Zj(2, ZjItem(3, 1)) + Zj(5, Zj(3) + Zj(3)) + Zj(3) + Zj(1),
         {.pages = 1, .duplex = 1, .width = 8.5, .length = 11}},
        {"the reserved word of a chunk header may be set", "JZJZ" + Zj(2, ZjItem(4, 3), 36) + Zj(3, "", 0) + Zj(1),
         {.pages = 1, .copies = 3}},
        {"a colour page never ended does not colour the job", doc + ZjPage(1, 1, 1) + Zj(2, ZjItem(7, 4)),
         {.pages = 1, .duplex = 1, .width = 8.5, .length = 11}},
        {"a chunk past the end stops the walk", doc + ZjPage(1, 1, 1) + Be32(0x7FFFFFFF) + Be32(5) + Be32(0) + Be32(0x5A5A),
         {.pages = 1, .duplex = 1, .width = 8.5, .length = 11, .estimated = true}},
        {"an unknown paper code leaves the paper unknown", "JZJZ" + ZjPage(999, 1, 1), {.pages = 1}},
        {"no page", doc + Zj(1), kNotUnderstood},
        {"not a ZjStream", "JZJz" + ZjPage(1, 1, 1), kNotUnderstood},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountZjStream, c);
    ExpectAccurateCases(qm::accurate::CountZjStream, "hostbased/cases/zjs_accurate.tsv");
}

// ---- OAKT: "OAKT", length (padded to 16), type; image data follows its record.
std::string Oak(uint32_t type, const std::string& payload = "") {
    std::string r = "OAKT" + Le32(uint32_t((12 + payload.size() + 15) & ~15u)) + Le32(type) + payload;
    return r + std::string((16 - r.size() % 16) % 16, 'P');
}
std::string OakData(uint32_t plane, const std::string& data) {
    const uint32_t padded = uint32_t((data.size() + 15) & ~size_t{15});
    return Oak(0x3C, std::string(20, '\0') + Le32(uint32_t(data.size())) + Le32(padded) + Le32(0) + Le32(0) +
                         Le32(plane) + Le32(0)) +
           data + std::string(padded - data.size(), '\0');
}
std::string OakPage(uint32_t paper, std::initializer_list<uint32_t> planes, uint32_t copies = 1, uint32_t duplex = 0) {
    std::string p = Oak(0x14) + Oak(0x2A, Le32(copies) + Le32(duplex)) +
                    Oak(0x2B, Le32(paper) + Le32(10200) + Le32(16800) + Le32(0)) + Oak(0x15);
    // Data that holds a whole end-of-page record must not end the page.
    for (uint32_t plane : planes) p += OakData(plane, Oak(0x18) + "xyz");
    return p + Oak(0x17) + Oak(0x18, Le32(1));
}

TEST(AccurateOakt, PagesAtTheirEndsDuplexFromBothRecords) {
    const std::string head = Oak(0x0D) + Oak(0x0F, Le32(0) + Le32(0));
    const AccurateCase cases[] = {
        {"monochrome Letter page, two copies", head + OakPage(1, {3}, 2) + Oak(0x0B),
         {.pages = 1, .copies = 2, .width = 8.5, .length = 11}},
        {"duplex from the job's duplex record", Oak(0x0F, Le32(1) + Le32(0)) + OakPage(9, {3}) + OakPage(9, {3}),
         {.pages = 2, .duplex = 1, .width = 8.27, .length = 11.69}},
        {"duplex from the page's copies record", head + OakPage(9, {3}, 1, 1),
         {.pages = 1, .duplex = 1, .width = 8.27, .length = 11.69}},
        {"a page sending colour planes", head + OakPage(1, {3}) + OakPage(1, {0, 1, 2, 3}),
         {.pages = 2, .colour = 1, .width = 8.5, .length = 11}},
        {"a custom size from the sheet at 1200 dpi", head + OakPage(256, {3}), {.pages = 1, .width = 8.5, .length = 14}},
        {"A3 by its Windows paper code", head + OakPage(8, {3}), {.pages = 1, .width = 11.69, .length = 16.54}},
        {"image data cut by the end of the job", head + OakPage(5, {3}) + OakData(1, "abc").substr(0, 70),
         {.pages = 1, .width = 8.5, .length = 14, .estimated = true}},
        {"records too short for their fields (a duplex flag, copies) read none",
         "OAKT" + Le32(12) + Le32(0x0F) + OakPage(9, {3}) + Oak(0x2A, Le32(5)), {.pages = 1, .copies = 1, .width = 8.27, .length = 11.69}},
        {"no page", head + Oak(0x0B), kNotUnderstood},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountOakt, c);
    ExpectAccurateCases(qm::accurate::CountOakt, "hostbased/cases/oakt_accurate.tsv");
}

// ---- HIPERC: PJL, then records of length (whole record) and type.
std::string HpRec(uint32_t type, const std::string& body = "") {
    return Be32(uint32_t(8 + body.size())) + Be32(type) + body;
}
std::string HpPlane(uint8_t plane, const std::string& data) {
    return HpRec(0, Be32(16) + Bin({1, plane, 0x80, 0x11}) + std::string(32, '\0')) +
           HpRec(1, Be32(4) + Bin({plane, 0, 0, 0}) + Be32(uint32_t(data.size())) + data);
}
std::string HpPage(std::initializer_list<uint8_t> planes) {
    std::string p;
    for (uint8_t plane : planes) p += HpPlane(plane, HpRec(255) + HpRec(255));  // data that looks like page ends
    return p + HpRec(255);
}
const std::string kHpPjl =
    "\x1b%-12345X@PJL\r\n@PJL SET PAPER=A4\r\n@PJL SET COPIES=3\r\n@PJL SET QTY=1\r\n@PJL ENTER LANGUAGE=HIPERC\n";
const std::string kHpEnd = "\x1b%-12345X@PJL\r\n@PJL EOJ\n\x1b%-12345X";

TEST(AccurateHiperc, ColourFromThePlanesEachPageSends) {
    const AccurateCase cases[] = {
        {"black plane only: monochrome", kHpPjl + HpPage({3}) + HpPage({3}) + kHpEnd,
         {.pages = 2, .copies = 3, .width = 8.27, .length = 11.69}},
        {"one page with colour planes", kHpPjl + HpPage({3}) + HpPage({0, 1, 2, 3}) + kHpEnd,
         {.pages = 2, .copies = 3, .colour = 1, .width = 8.27, .length = 11.69}},
        {"the plane of a job sent without start-plane numbering", kHpPjl + HpPage({0xFF}) + kHpEnd,
         {.pages = 1, .copies = 3, .width = 8.27, .length = 11.69}},
        {"duplex and Letter from PJL written with blanks",
         "@PJL SET DUPLEX = ON\n@PJL SET PAPER = letter\n@PJL ENTER LANGUAGE = HIPERC\n" + HpPage({3}),
         {.pages = 1, .duplex = 1, .width = 8.5, .length = 11}},
        {"a record past the end", kHpPjl + HpPage({3}) + Be32(1000) + Be32(1),
         {.pages = 1, .copies = 3, .width = 8.27, .length = 11.69, .estimated = true}},
        {"a record shorter than its header", kHpPjl + HpPage({3}) + Be32(4) + Be32(255) + HpRec(255),
         {.pages = 1, .copies = 3, .width = 8.27, .length = 11.69, .estimated = true}},
        {"no ENTER LANGUAGE line", "@PJL SET COPIES=2\n" + HpPage({3}), kNotUnderstood},
        {"no page", kHpPjl + kHpEnd, kNotUnderstood},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountHiperc, c);
    ExpectAccurateCases(qm::accurate::CountHiperc, "hostbased/cases/hiperc_accurate.tsv");
}

// ---- PPA: "$", channel, length; commands in short or long framing.
std::string Vlink(uint8_t channel, const std::string& payload) {
    return "$" + Bin({channel}) + Be16(uint32_t(payload.size())) + payload;
}
std::string ScpShort(uint16_t command, const std::string& data) {
    return Vlink(1, Be16(command) + Be16(1) + Bin({7, 0}) + Be16(uint32_t(data.size())) + data);
}
std::string ScpLong(uint16_t command, const std::string& data) {
    return Vlink(1, Be16(command) + Be16(uint32_t(data.size() + 16)) + Bin({7, 0}) + Be16(1) + Be32(0) +
                        Bin({0, 2, 0, 0}) + data);
}
std::string Sweep(uint8_t ink) { return Bin({0, 1, 2, ink}) + std::string(76, '\0'); }

TEST(AccuratePpa, PagesAtEjectsColourFromTheSweeps) {
    const std::string load = ScpShort(19, Bin({1, 1, 9, 0x60})), eject = ScpShort(19, Bin({2, 1, 9, 0x60}));
    const std::string loadL = ScpLong(0x181, Bin({1, 1, 0x12, 0xC0})), ejectL = ScpLong(0x181, Bin({2, 1, 0x12, 0xC0}));
    // Image data that holds a whole eject packet is data.
    const std::string image = Vlink(0, eject + eject);
    const AccurateCase cases[] = {
        {"black sweeps only", load + image + ScpShort(18, Sweep(1)) + eject, {.pages = 1}},
        {"a colour sweep on the second page", loadL + image + ScpLong(0x180, Sweep(1)) + ejectL + loadL +
                                                  ScpLong(0x180, Sweep(14)) + ejectL,
         {.pages = 2, .colour = 1}},
        {"a colour sweep on a page never ejected", load + ScpShort(18, Sweep(1)) + eject + load + ScpShort(18, Sweep(14)),
         {.pages = 1}},
        {"a packet past the end", load + eject + "$\x01\x10\x00", {.pages = 1, .estimated = true}},
        {"a sweep whose ink byte ends it", load + ScpShort(18, Bin({0, 1, 2, 14})) + eject, {.pages = 1, .colour = 1}},
        {"a sweep cut before its ink byte", load + ScpShort(18, Bin({0, 1, 2})) + eject, {.pages = 1}},
        {"a media command of no data before a stray 2", load + eject + ScpShort(19, "") + "\x02", {.pages = 1, .estimated = true}},
        {"a long frame of no data whose header reads as a short one too",
         load + eject + Vlink(1, Be16(19) + Be16(16) + Bin({7, 0}) + Be16(8) + Bin({2, 0, 0, 0, 0, 0, 0, 0})), {.pages = 1}},
        {"no eject", load + image, kNotUnderstood},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountPpa, c);
}

// ---- Lexmark: ESC, code, five parameters, checksum (sum of the six).
std::string Lx(uint8_t code, std::initializer_list<int> params) {
    std::string c = Bin({0x1B, code});
    int sum = code;
    for (int p : params) {
        c += Bin({p});
        sum += p;
    }
    return c + Bin({sum & 0xFF});
}
TEST(AccurateLexmark, ChecksummedCommandsPagesAtEjects) {
    ExpectAccurateCases(qm::accurate::CountLexmarkChecked, "hostbased/cases/lexmark_accurate.tsv");
    // Jobs of the escape grammar pass the export's record through, also
    // after a first command that is checked.
    Result r;
    const std::string escape = Lx(0x33, {0, 0, 0, 0, 0}) + Lit("\x1b*\x07" "e\x1b*\x07s0");
    EXPECT_EQ(qm::accurate::CountLexmarkChecked(qm::Bytes(escape), r), QM_OK);
    EXPECT_EQ(r.rec.pages, 1u);
}

// The walked languages read every corpus job whole (no structure breaks, so
// none is counted by estimate); cut and scrambled copies of the jobs end,
// stay inside their bytes and never report more pages than the whole job.
TEST(AccurateWalks, CorpusJobsParseWholeAndTheirCutsStayInBounds) {
    const std::string dir = std::string(QM_SOURCE_DIR) + "/tests/corpus/";
    int jobs = 0;
    uint32_t seed = 12345;
    for (const CaseRow& row : ReadCases("corpus/truth.tsv")) {
        const std::string& file = row.text("file");
        const std::string& tag = row.text("tag");
        if (std::string(" ESC_PAGE QPDL ZJSTREAM OAKT HIPERC PPA Lexmark ").find(" " + tag + " ") == std::string::npos)
            continue;
        const std::string bytes = ReadFile(dir + file);
        const qm::accurate::Language* lang = qm::accurate::FindLanguage(tag);
        Result whole;
        EXPECT_EQ(lang->count(qm::Bytes(bytes), whole), QM_OK) << file;
        EXPECT_FALSE(whole.estimated) << file;
        ++jobs;
        for (int k = 1; k <= 24; ++k) {
            std::string copy = bytes.substr(0, bytes.size() * k / 25);  // exactly as long as the cut
            if (k % 2 == 0) {
                copy = bytes;
                for (int n = 0; n < 64; ++n) {
                    seed = seed * 1103515245u + 12345u;
                    copy[(seed >> 4) % copy.size()] = static_cast<char>(seed >> 24);
                }
            }
            Result r;
            const int32_t code = lang->count(qm::Bytes(copy), r);
            EXPECT_TRUE(code == QM_OK || code == QM_E_NOT_UNDERSTOOD) << file << " variant " << k;
            if (code == QM_OK && k % 2 == 1) {
                EXPECT_LE(r.rec.pages, whole.rec.pages) << file << " cut " << k;
            }
        }
    }
    EXPECT_GT(jobs, 60);
}

// ---- Bodies are stepped over by their declared lengths, never read: a body
// lying on unreadable pages must not fault, and the walk finds the page end
// after it.
Result AcrossHole(const char* tag, const std::string& head, size_t gap, const std::string& tail) {
    const size_t page = size_t(::sysconf(_SC_PAGESIZE)), span = page + (gap + tail.size() + page - 1) / page * page;
    void* map = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    auto* start = static_cast<uint8_t*>(map) + page - head.size();
    std::memcpy(start, head.data(), head.size());
    std::memcpy(start + head.size() + gap, tail.data(), tail.size());
    Result r;
    if (::mprotect(start + head.size(), gap / page * page, PROT_NONE) == 0)
        qm::accurate::FindLanguage(tag)->count(qm::Bytes(start, uint32_t(head.size() + gap + tail.size())), r);
    ::munmap(map, span);
    return r;
}

TEST(AccurateWalks, NeverTouchSkippedBodies) {
    const uint32_t gap = uint32_t(4 * ::sysconf(_SC_PAGESIZE));
    const std::string oakData = std::string(20, '\0') + Le32(0) + Le32(gap) + Le32(0) + Le32(0) + Le32(3) + Le32(0);
    const struct {
        const char* tag;
        std::string head, tail;
    } jobs[] = {
        {"ZJSTREAM", "JZJZ" + Zj(2) + Be32(16 + gap) + Be32(5) + Be32(0) + Be32(0x5A5A), Zj(3)},
        {"HIPERC", kHpPjl + Be32(16 + gap) + Be32(1) + Be32(4) + Bin({3, 0, 0, 0}), HpRec(255)},
        {"OAKT", Oak(0x14) + Oak(0x3C, oakData), Oak(0x18)},
    };
    for (const auto& job : jobs) {
        const Result r = AcrossHole(job.tag, job.head, gap, job.tail);
        EXPECT_EQ(r.rec.pages, 1u) << job.tag;
        EXPECT_FALSE(r.estimated) << job.tag;
    }
}

// Languages with no driver on hand keep their export's record; the fields
// their exports cannot know are marked unknown, copies are at least 1, and a
// job in which the export finds no page is not understood.
TEST(AccuratePassThrough, ExportRecordWithUnknownFieldsMarked) {
    const std::string lidil =  // a start-page packet
        "$" + Be16(23) + "x" + Bin({0, 1}) + "yy" + Be16(0) + std::string(7, 'z') + Be16(20400) + "ww" + Be16(27000);
    struct Row {
        const char* tag;
        std::string job;
        int32_t code;
        uint32_t pages, copies, unknown;
    };
    const Row rows[] = {
        {"HBP", "@F@F", QM_OK, 2, 1, QM_FIELD_COLOR | QM_FIELD_DUPLEX | QM_FIELD_PAPER},
        {"LIDIL", lidil, QM_OK, 1, 1, QM_FIELD_COPIES | QM_FIELD_COLOR | QM_FIELD_DUPLEX},
        {"HBP", "no page here", QM_E_NOT_UNDERSTOOD, 0, 0, 0},
    };
    for (const Row& r : rows) {
        Result out;
        const int32_t code = qm::accurate::FindLanguage(r.tag)->count(qmtest::Guarded(r.job).bytes(), out);
        EXPECT_EQ(code, r.code) << r.tag;
        if (code != QM_OK) continue;
        qm::accurate::Finish(out);
        EXPECT_EQ(out.rec.pages, r.pages) << r.tag;
        EXPECT_EQ(out.rec.copies, r.copies) << r.tag;
        EXPECT_EQ(out.unknown, r.unknown) << r.tag;
    }
}

}  // namespace
