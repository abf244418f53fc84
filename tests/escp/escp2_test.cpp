#include "escp/escp2.h"

#include <gtest/gtest.h>

#include <string>

#include "casefile.h"

using namespace qmtest;

namespace {

PageCountResult Count(const std::string& job) {
    qm::CommandStream s;
    s.Attach(qm::Bytes(job));
    return qm::escp2::CountStream(s);
}

std::string FFs(size_t n) { return std::string(n, '\f'); }

// Every command with fixed arguments and the number of argument bytes after its code; the
// arguments are all 0x0C, so only the two form feeds after them count.
TEST(Escp2Consumption, ArgumentBytesAreNeverCommands) {
    for (const CaseRow& c : ReadCases("escp/cases/escp2_arguments.tsv")) {
        const std::string job = c.bytes("command") + FFs(size_t(c.num("arguments"))) + FFs(2);
        EXPECT_EQ(Count(job).pages, 2u) << c.where << " command " << c.text("command");
    }
}

// Image and data bytes behind a count, then two form feeds: pages counted.
TEST(Escp2Consumption, ImageAndDataBytesAreNeverCommands) {
    for (const CaseRow& c : ReadCases("escp/cases/escp2_data.tsv"))
        EXPECT_EQ(Count(c.bytes("job") + FFs(2)).pages, c.num("pages")) << c.name();
}

TEST(Escp2Counter, PagesColourAndPaper) { ExpectRecordCases("ESCP2", "escp/cases/escp2_pages.tsv", true); }

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
    for (const CaseRow& c : ReadCases("escp/cases/escp2_cut.tsv"))
        EXPECT_EQ(Count(c.bytes("job")).pages, c.num("pages")) << c.name();
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
