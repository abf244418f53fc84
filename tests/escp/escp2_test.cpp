#include "escp/escp2.h"

#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

using namespace qmtest;

namespace {

PageCountResult Count(const std::string& job) {
    qm::CommandStream s;
    s.Attach(qm::Bytes(job));
    return qm::escp2::CountStream(s);
}

const std::string FF = "\f";
std::string FFs(size_t n) { return std::string(n, '\f'); }

// Every command with fixed arguments, with the number of argument bytes that
// follow its code. Each argument byte is a 0x0C in the tests below.
struct FixedCommand {
    const char* prefix;
    size_t argBytes;
};
const FixedCommand kFixedCommands[] = {
    {"\x1b" "C", 1}, {"\x1bN", 1}, {"\x1bO", 0}, {"\x1bQ", 1}, {"\x1bI", 1}, {"\x1b$", 2},
    {"\x1b\\", 2}, {"\x1bJ", 1}, {"\x1b" "0", 0}, {"\x1b" "2", 0}, {"\x1b" "3", 1}, {"\x1b+", 1},
    {"\x1b" "A", 1}, {"\x1bt", 1}, {"\x1bR", 1}, {"\x1b:", 3}, {"\x1b%", 1}, {"\x1bx", 1},
    {"\x1bk", 1}, {"\x1bX", 3}, {"\x1b" "c", 2}, {"\x1bP", 0}, {"\x1bM", 0}, {"\x1bg", 0},
    {"\x1bp", 1}, {"\x1b ", 1}, {"\x1b" "E", 0}, {"\x1b" "F", 0}, {"\x1b" "4", 0}, {"\x1b" "5", 0},
    {"\x1b!", 1}, {"\x1bG", 0}, {"\x1bH", 0}, {"\x1b-", 1}, {"\x1bS", 1}, {"\x1bT", 0},
    {"\x1bq", 1}, {"\x1b\x0f", 0}, {"\x1b\x0e", 0}, {"\x1bW", 1}, {"\x1bw", 1}, {"\x1b" "6", 0},
    {"\x1b" "7", 0}, {"\x1b\x19", 1}, {"\x1bU", 1}, {"\x1b<", 0}, {"\x1b?", 2}, {"\x1br", 1},
    {"\x1b@", 0}, {"\x1b#", 0}, {"\x1b=", 0}, {"\x1b>", 0},
    // ESC ( commands: the 2-byte count, then their fields
    {"\x1b(C", 4}, {"\x1b(S", 10}, {"\x1b(c", 6}, {"\x1b(V", 4}, {"\x1b(v", 4}, {"\x1b(U", 3},
    {"\x1b(t", 5}, {"\x1b(-", 5}, {"\x1b(G", 3},
};

TEST(Escp2Consumption, ArgumentBytesAreNeverCommands) {
    for (const FixedCommand& c : kFixedCommands) {
        // The arguments are all 0x0C; the two form feeds after them count.
        const std::string job = std::string(c.prefix) + FFs(c.argBytes) + FFs(2);
        EXPECT_EQ(Count(job).pages, 2u) << "command " << c.prefix + 1;
    }
}

struct DataCase {
    const char* name;
    std::string job;
    uint32_t pages;  // with the two form feeds that follow
};

TEST(Escp2Consumption, ImageAndDataBytesAreNeverCommands) {
    const DataCase cases[] = {
        {"ESC K", Lit("\x1bK\x03\x00") + FFs(3), 2},
        {"ESC L", Lit("\x1bL\x03\x00") + FFs(3), 2},
        {"ESC Y", Lit("\x1bY\x03\x00") + FFs(3), 2},
        {"ESC Z", Lit("\x1bZ\x03\x00") + FFs(3), 2},
        {"ESC K count of 0x0C0C", Lit("\x1bK\x0c\x0c") + FFs(0x0c0c), 2},
        {"ESC * 1 byte per column", Lit("\x1b*\x00\x03\x00") + FFs(3), 2},
        {"ESC * 3 bytes per column", Lit("\x1b*\x27\x02\x00") + FFs(6), 2},
        {"ESC * 6 bytes per column", Lit("\x1b*\x48\x02\x00") + FFs(12), 2},
        {"ESC * unknown mode leaves its data", Lit("\x1b*\x05\x02\x00") + FFs(2), 4},
        {"ESC . plain", Lit("\x1b.\x00\x0c\x0c\x02\x10\x00") + FFs(4), 2},
        {"ESC . one-bit rows round up", Lit("\x1b.\x00\x0c\x0c\x03\x09\x00") + FFs(6), 2},
        {"ESC . runs", Lit("\x1b.\x01\x0c\x0c\x01\x50\x00\x03") + FFs(4) + Lit("\xfb\x0c"), 2},
        {"ESC . run of 128 repeats", Lit("\x1b.\x01\x0c\x0c\x01\x00\x08\x81\x0c\x7f") + FFs(128), 2},
        {"ESC i plain", Lit("\x1bi\x0c\x00\x02\x03\x00\x02\x00") + FFs(6), 2},
        {"ESC i 3 bits per dot", Lit("\x1bi\x0c\x00\x03\x03\x00\x02\x00") + FFs(6), 2},
        {"ESC i runs", Lit("\x1bi\x0c\x01\x01\x03\x00\x02\x00\xfd\x0c\x01\x0c\x0c"), 2},
        {"ESC & two characters", Lit("\x1b&\x00\x41\x42\x0c\x02\x0c") + FFs(4) + Lit("\x0c\x01\x0c") + FFs(2), 2},
        {"ESC & one character", Lit("\x1b&\x00\x41\x41\x0c\x01\x0c") + FFs(2), 2},
        {"ESC & refused range", Lit("\x1b&\x00\x42\x41") + FFs(1), 3},
        {"ESC & code above 127", Lit("\x1b&\x00\x41\x80") + FFs(1), 3},
        {"ESC D", Lit("\x1b" "D\x0c\x0c\x00"), 2},
        {"ESC B", Lit("\x1b" "B\x0c\x00"), 2},
        {"ESC ( ^", Lit("\x1b(^\x03\x00") + FFs(3), 2},
        {"ESC ( ^ count above 32767 has no data", Lit("\x1b(^\x00\x80") + FFs(1), 3},
        {"ESC ( R", Lit("\x1b(R\x08\x00\x00REMOTE1\x0c\x0c\x1b\x00"), 2},
        {"ESC ( R with a sized record", Lit("\x1b(R\x08\x00+\x0c\x0c\x0c\x00\x03\x1b\x00\x0c\x1b\x00"), 2},
        {"ESC ( R: ESC p NUL 3 ejects a page",
         Lit("\x1b(R\x02\x00\x1bp\x00\x03") + FFs(7) + Lit("\x1b\x00"), 3},
        {"ESC ( R: ESC x is not the end", Lit("\x1b(R\x02\x00\x1bx\x0c\x1b\x00"), 2},
    };
    for (const DataCase& c : cases)
        EXPECT_EQ(Count(c.job + FFs(2)).pages, c.pages) << c.name;
}

TEST(Escp2Counter, PagesColourAndPaper) {
    const Case cases[] = {
        {"nothing: one page, letter", "", {1, 0, 0, 0, 8.5, 11.0}},
        {"three form feeds", FFs(3), {3, 0, 0, 0, 8.5, 11.0}},
        {"ESC C 12", Lit("\x1b" "C\x0c") + FF, {1, 0, 0, 0, 8.5, 12.0}},
        {"ESC C 0 n keeps the length and its inch byte", Lit("\x1b" "C\x00\x0c") + FF, {1, 0, 0, 0, 8.5, 11.0}},
        {"ESC C above 127 consumes nothing more", Lit("\x1b" "C\x80\x0c") + FF, {2, 0, 0, 0, 8.5, 11.0}},
        {"defined unit 1/360", Lit("\x1b(U\x01\x00\x0a\x1b(C\x02\x00\x78\x0f"), {1, 0, 0, 0, 8.5, 11.0}},
        {"defined unit 1/720", Lit("\x1b(U\x01\x00\x05\x1b(C\x02\x00\xf0\x1e"), {1, 0, 0, 0, 8.5, 11.0}},
        {"defined unit 1/1440", Lit("\x1b(U\x01\x00\x0a\x1b(U\x01\x00\x14\x1b(C\x02\x00\x10\x0e"), {1, 0, 0, 0, 8.5, 20.0}},
        {"ESC ( U with count 2 is ignored", Lit("\x1b(U\x02\x00\x05\x00\x1b(C\x02\x00\x10\x0e"), {1, 0, 0, 0, 8.5, 10.0}},
        {"ESC ( C with count 4 leaves its high bytes",
         Lit("\x1b(C\x04\x00\x10\x0e\x0c\x0c"), {2, 0, 0, 0, 8.5, 11.0}},
        {"ESC r 0 is not colour", Lit("\x1br\x00"), {1, 0, 0, 0, 8.5, 11.0}},
        {"ESC r 1 is colour", Lit("\x1br\x01"), {1, 0, 1, 0, 8.5, 11.0}},
        {"ESC i with colour 0 is colour", Lit("\x1bi\x00\x00\x01\x01\x00\x01\x00\x00"), {1, 0, 1, 0, 8.5, 11.0}},
        {"ESC @ resets the length, keeps pages and colour",
         Lit("\x1br\x01\x0c\x1b" "C\x0c\x1b@\x0c"), {2, 0, 1, 0, 8.5, 11.0}},
        {"ESC @ resets the defined unit",
         Lit("\x1b(U\x01\x00\x05\x1b@\x1b(C\x02\x00\x10\x0e"), {1, 0, 0, 0, 8.5, 10.0}},
        {"remote paper size",
         Lit("\x1b(R\x08\x00\x00REMOTE1\x1bp\x00+M\x01\x02\x03\x0b\xf4"
             "N\x01\x02\x03\x0f\x78W\x00\x00\x00\x00\x00H\x00\x00\x00\x00\x00\x1b\x00"), {1, 0, 0, 0, 8.5, 11.0}},
        {"remote paper size, A4",
         Lit("\x1b(R\x02\x00\x1bp\x00+xxM\x00\x00\x00\x0b\xa2N\x00\x00\x00\x10\x71W\x00\x00\x00\x00\x00"
             "H\x00\x00\x00\x00\x00\x1b\x00"), {1, 0, 0, 0, 2978.0f / 360.0f, 4209.0f / 360.0f}},
        {"remote page eject with colour", Lit("\x1b(R\x02\x00\x1bp\x00\x03" "1234567\x1b\x00\x0c"), {2, 0, 1, 0, 8.5, 11.0}},
        {"colour text, two pages", Lit("\x1b@\x1br\x01text\x0c\x0c"), {2, 0, 1, 0, 8.5, 11.0}},
        {"zero bits per dot", Lit("\x0c\x1bi\x00\x00\x00\x01\x00\x01\x00"), kRejected},
    };
    for (const Case& c : cases) ExpectRecord("ESCP2", c, true);
}

TEST(Escp2Counter, RunArithmeticIsSixteenBit) {
    // One byte needed, a run of 128: the remaining count wraps to 65409 and
    // the rest of the job is taken as run data.
    EXPECT_EQ(Count(Lit("\x1b.\x01\x0c\x0c\x01\x08\x00\x81\x00") + FFs(3)).pages, 1u);
    // Runs that add up exactly stop right after their last byte.
    EXPECT_EQ(Count(Lit("\x1b.\x01\x0c\x0c\x01\x08\x00\x00\x0c") + FFs(3)).pages, 3u);
    // A data length wider than 16 bits keeps its low 16 bits: 0x2000 columns of
    // 6 bytes skip 0xC000 bytes.
    EXPECT_EQ(Count(Lit("\x1b*\x48\x00\x20") + FFs(0xC000) + FFs(2)).pages, 2u);
}

TEST(Escp2Counter, EndsOnDataCutShort) {
    const DataCase cases[] = {
        {"lone ESC", Lit("\x0c\x1b"), 1},
        {"lone ESC (", Lit("\x0c\x1b("), 1},
        {"count cut short", Lit("\x0c\x1b(C\x02"), 1},
        {"graphics past the end", Lit("\x0c\x0c\x1bK\xff\xff\x0c"), 2},
        {"tab stops without NUL", Lit("\x0c\x1b" "D\x0c\x0c"), 1},
        {"runs past the end", Lit("\x0c\x1b.\x01\x0c\x0c\xff\xff\xff\x7f\x0c"), 1},
        {"remote block without end", Lit("\x0c\x1b(R\x02\x00\x0c\x0c\x1bp\x00+M\x00"), 1},
        {"remote record past the end", Lit("\x0c\x1b(R\x02\x00+\x00\x00\x00\xff\xff"), 1},
        {"user characters cut short", Lit("\x0c\x1b&\x00\x00\x7f\x00\xff\x00"), 1},
        {"character data cut short", Lit("\x0c\x1b(^\xff\x00\x0c"), 1},
    };
    for (const DataCase& c : cases) EXPECT_EQ(Count(c.job).pages, c.pages) << c.name;
}

// Both stream counters fail before reading; only ESCP2 says so on stdout.
TEST(Escp2EntryPoint, FilesThatCannotBeOpened) {
    TempJob job("\f");
    const std::string missing = job.dir() + "/missing.prn", line = "Error opening EscP2 file '";
    const struct {
        const char* tag;
        const char* path;
        int32_t code;
        std::string out;
    } cases[] = {
        {"ESCP2", "/nonexistent-dir/job.prn", QM_E_FILE_NOT_FOUND, line + "/nonexistent-dir/job.prn'\n"},
        {"ESCP2", "", QM_E_PATH_NOT_FOUND, line + "'\n"},
        {"ESCP2", nullptr, QM_E_PATH_NOT_FOUND, line + "'\n"},
        {"ESCP2", job.dir().c_str(), QM_E_ACCESS_DENIED, line + job.dir() + "'\n"},
        {"CANON", missing.c_str(), QM_E_FILE_NOT_FOUND, ""},
        {"CANON", "", QM_E_PATH_NOT_FOUND, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " on " + (c.path != nullptr ? c.path : "null"));
        PageCountResult rec = MarkedRecord();
        testing::internal::CaptureStdout();
        EXPECT_EQ(qm::FindCounter(c.tag)->entry(c.path, &rec), c.code);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_TRUE(IsMarked(rec));
    }
    EXPECT_EQ(GetTotalPageCount_ESCP2("/nonexistent", nullptr), QM_E_POINTER);
    EXPECT_EQ(GetTotalPageCount_CANON("", nullptr), QM_E_POINTER);
}

}  // namespace
