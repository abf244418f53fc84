// The store (SQLite in a scratch folder; PostgreSQL too when
// QM_TEST_POSTGRESQL names a database), the journal and the report totals.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "accounting_testutil.h"
#include "journal.h"
#include "report.h"
#include "store.h"

namespace {

using namespace qmacct;
using qmtest::MakeRecord;

std::vector<Record> All(Store& store, TimeRange range = {}) {
    std::vector<Record> out;
    store.ForEach(range, [&](const Record& r) { out.push_back(r); });
    return out;
}

// A record with every field set, and a title and user no one should trust.
Record Hostile(int64_t jobId) {
    Record r = MakeRecord("lab", jobId, "O'Brien\"; DROP TABLE quirometer_jobs;--", 7, 3, 2);
    r.title = CleanText(std::string("quote ' \" back\\slash \x01\x1B[2J \xFF\xFE ") + std::string(3000, 'x'),
                        kMaxTitleBytes);
    r.user = CleanText(r.user + "\n\xC0", kMaxNameBytes);
    r.fileSize = 123456789012;
    r.pdl = "PCLXL";
    r.colorPages = 2;
    r.colorUnknownPages = 1;
    r.duplex = true;
    r.sheets = SheetsFor(7, 6, true);
    r.paperWidth = 8.27;
    r.paperLength = 11.69;
    r.certainty = "estimated";
    r.unknown = "color,paper";
    r.error = "a note";
    return r;
}

// The stores the tests run against: always SQLite, PostgreSQL when configured.
class StoreTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgresql") {
            const char* url = std::getenv("QM_TEST_POSTGRESQL");
            if (url == nullptr || *url == '\0') GTEST_SKIP() << "QM_TEST_POSTGRESQL names no database";
            url_ = url;
        } else {
            url_ = "sqlite:" + dir_.Path("acct.db");
        }
        // Records of this test apart from every other run's, in a shared database too.
        server_ = "test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        store_ = OpenStore(url_, 5);
    }
    Record Make(const std::string& printer, int64_t jobId, const std::string& user, uint32_t pages,
                uint32_t copies = 1, uint32_t cupsCopies = 1, Status status = Status::Printed,
                int64_t time = 1'800'000'000) const {
        Record r = MakeRecord(printer, jobId, user, pages, copies, cupsCopies, status, time);
        r.server = server_;
        return r;
    }
    std::vector<Record> Mine() {
        std::vector<Record> out;
        for (Record& r : All(*store_))
            if (r.server == server_) out.push_back(std::move(r));
        return out;
    }

    qmtest::Scratch dir_;
    std::string url_;
    std::string server_;
    std::unique_ptr<Store> store_;
};

TEST_P(StoreTest, EveryFieldSurvivesBoundAsIs) {
    Record r = Hostile(1);
    r.server = server_;
    store_->Put(r);
    const auto got = Mine();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(ToJson(got[0]), ToJson(r));
    // The table is still there, and a second connection reads the same.
    const auto again = OpenStore(url_, 5, true);
    std::vector<Record> seen;
    again->ForEach({}, [&](const Record& x) {
        if (x.server == server_) seen.push_back(x);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, r.title);
}

TEST_P(StoreTest, RetryUpdatesItsRecordAndOlderVersionsNeverWin) {
    Record first = Make("lab", 42, "alice", 3, 1, 1, Status::Failed);
    first.error = "the wrapped backend exited with status 6";
    store_->Put(first);
    Record retry = Make("lab", 42, "alice", 3);
    retry.updatedUs = first.updatedUs + 1;
    store_->Put(retry);
    Record stale = first;  // e.g. replayed late from a journal
    store_->Put(stale);
    auto got = Mine();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, Status::Printed);
    EXPECT_EQ(got[0].error, "");
    // Another queue or server with the same job id is another job.
    Record other = Make("office", 42, "alice", 1);
    store_->Put(other);
    EXPECT_EQ(Mine().size(), 2u);
}

TEST_P(StoreTest, QuotaCountsPrintedPagesOfTheUserOnTheQueueInThePeriod) {
    constexpr int64_t kSince = 1'800'000'000;
    // Already recorded: 40 pages count; nothing else does.
    const Record history[] = {
        Make("lab", 1, "alice", 10, 2, 2),                              // 40 printed
        Make("lab", 2, "alice", 100, 1, 1, Status::Failed),             // failed
        Make("lab", 3, "alice", 100, 1, 1, Status::Refused),            // refused
        Make("lab", 4, "alice", 100, 1, 1, Status::NotCounted),         // not counted
        Make("office", 5, "alice", 100),                                // other queue
        Make("lab", 6, "bob", 100),                                     // other user
        Make("lab", 7, "alice", 100, 1, 1, Status::Printed, kSince - 1),  // before the period
    };
    struct Case {
        int64_t jobId;
        uint32_t pages, copies, cupsCopies;
        uint64_t limit;
        bool refused;
        uint64_t used;
    };
    const Case cases[] = {
        {10, 60, 1, 1, 100, false, 40},   // exactly at the limit
        {10, 61, 1, 1, 100, true, 40},    // one page over
        {10, 10, 3, 2, 100, false, 40},   // 60 with every copy
        {10, 10, 7, 1, 100, true, 40},    // 70 with every copy
        {1, 100, 1, 1, 100, false, 0},    // a retry of job 1 does not count job 1 again
        {10, 0, 1, 1, 40, false, 40},     // nothing to print, at the limit already
        {10, 1, 1, 1, 40, true, 40},
    };
    for (const Case& c : cases) {
        SetUp();  // a fresh store (and server name) per case
        for (Record h : history) {
            h.server = server_;
            store_->Put(h);
        }
        Record job = Make("lab", c.jobId, "alice", c.pages, c.copies, c.cupsCopies, Status::Printed, kSince + 60);
        job.updatedUs = kSince * 1'000'000 + 1;
        const QuotaCheck quota{c.limit, kSince};
        const PutResult put = store_->Put(job, &quota);
        EXPECT_EQ(put.refused, c.refused) << "job " << c.jobId << " " << job.Printed() << "/" << c.limit;
        EXPECT_EQ(put.used, c.used) << "job " << c.jobId;
        EXPECT_EQ(job.status, c.refused ? Status::Refused : Status::Printed);
        size_t stored = 0;
        for (const Record& r : Mine())
            if (r.jobId == c.jobId && r.printer == "lab") {
                ++stored;
                EXPECT_EQ(r.status, job.status);
            }
        EXPECT_EQ(stored, 1u);
    }
}

TEST_P(StoreTest, ReportTotalsAreTheSumsOfTheJobs) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    constexpr int64_t kDay = 86400;
    constexpr int64_t kT = 1'798'761'600;  // 2027-01-01 00:00 UTC
    std::vector<Record> jobs = {
        Make("lab", 1, "alice", 3, 2, 1, Status::Printed, kT - 1),   // 2026-12-31
        Make("lab", 2, "alice", 5, 1, 3, Status::Printed, kT),       // 2027-01-01
        Make("office", 3, "bob", 7, 1, 1, Status::Printed, kT + kDay),
        Make("office", 4, "bob", 9, 1, 1, Status::Failed, kT + kDay),
        Make("lab", 5, "bob", 0, 1, 1, Status::NotCounted, kT + kDay),
        Make("lab", 6, "alice", 4, 1, 1, Status::Refused, kT + 40 * kDay),
    };
    jobs[0].colorPages = 2;  // x 2 copies
    jobs[1].colorPages = 1;  // x 3 CUPS copies
    for (Record& r : jobs) store_->Put(r);
    const auto line = [](const std::string& group, const Totals& t) {
        return " " + group + "=" + std::to_string(t.jobs) + "/" + std::to_string(t.pages) + "/" +
               std::to_string(t.colorPages) + "/" + std::to_string(t.sheets) + "/" + std::to_string(t.notCounted) +
               "/" + std::to_string(t.failed) + "/" + std::to_string(t.refused);
    };
    // Only this test's records count: a PostgreSQL database may hold others.
    const std::vector<Record> mine = Mine();
    std::string got, summarized;
    for (const GroupBy by : {GroupBy::User, GroupBy::Printer, GroupBy::Day, GroupBy::Month}) {
        std::map<std::string, Totals> groups;
        for (const Record& r : mine) groups[GroupOf(r, by)].Add(r);
        got += std::string(GroupByName(by)) + ":";
        for (const auto& [group, t] : groups) got += line(group, t);
        got += "\n";
        summarized += std::string(GroupByName(by)) + ":";
        for (const auto& row : Summarize(*store_, {}, by)) summarized += line(row.group, row.totals);
        summarized += "\n";
    }
    if (GetParam() == "sqlite") {
        EXPECT_EQ(summarized, got);
    }
    EXPECT_EQ(got,
              "user: alice=2/21/7/21/0/0/1 bob=1/7/0/7/1/1/0\n"
              "printer: lab=2/21/7/21/1/0/1 office=1/7/0/7/0/1/0\n"
              "day: 2026-12-31=1/6/4/6/0/0/0 2027-01-01=1/15/3/15/0/0/0 2027-01-02=1/7/0/7/1/1/0 "
              "2027-02-10=0/0/0/0/0/0/1\n"
              "month: 2026-12=1/6/4/6/0/0/0 2027-01=2/22/3/22/1/1/0 2027-02=0/0/0/0/0/0/1\n");
    // A range is [from, to): the first second of 2027 is in, the last of 2026 out.
    size_t inJanuary = 0;
    for (const Record& r : All(*store_, {kT, kT + 31 * kDay}))
        if (r.server == server_) ++inJanuary;
    EXPECT_EQ(inJanuary, 4u);
    ::unsetenv("TZ");
    ::tzset();
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::Values("sqlite", "postgresql"));

TEST(AccountingStore, OpeningForReading) {
    qmtest::Scratch dir;
    EXPECT_THROW(OpenStore("sqlite:" + dir.Path("none.db"), 1, true), StoreError);
    EXPECT_THROW(OpenStore("mysql://x", 1), StoreError);
    EXPECT_THROW(OpenStore("sqlite:", 1), StoreError);
    // A file no backend wrote to yet holds no records.
    sqlite3* db = nullptr;
    sqlite3_open(dir.Path("empty.db").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE other (x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_TRUE(All(*OpenStore("sqlite:" + dir.Path("empty.db"), 1, true)).empty());
    // A store a newer program migrated is left alone.
    OpenStore("sqlite:" + dir.Path("new.db"), 1);
    sqlite3_open(dir.Path("new.db").c_str(), &db);
    sqlite3_exec(db, "UPDATE quirometer_schema SET version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_THROW(OpenStore("sqlite:" + dir.Path("new.db"), 1), StoreError);
}

// --- the journal ---------------------------------------------------------

class JournalTest : public ::testing::Test {
protected:
    qmtest::Scratch dir_;
    Journal journal_{dir_.Path("journal")};
    std::unique_ptr<Store> store_ = OpenStore("sqlite:" + dir_.Path("acct.db"), 1);

    void Append(const Record& r) {
        std::string error;
        ASSERT_TRUE(journal_.Append(r, error)) << error;
    }
};

TEST_F(JournalTest, ReplayMovesEveryRecordOnceAndEmptiesTheJournal) {
    EXPECT_FALSE(journal_.Pending());
    EXPECT_EQ(journal_.Replay(*store_, true).stored, 0u);  // no journal yet
    for (int64_t id = 1; id <= 3; ++id) Append(Hostile(id));
    EXPECT_TRUE(journal_.Pending());
    EXPECT_EQ(journal_.Replay(*store_, true).stored, 3u);
    EXPECT_FALSE(journal_.Pending());
    EXPECT_EQ(qmtest::ReadFile(journal_.path()), "");
    // The same records journaled again (a replay cut short before the journal
    // was emptied) store nothing twice.
    for (int64_t id = 1; id <= 3; ++id) Append(Hostile(id));
    EXPECT_EQ(journal_.Replay(*store_, true).stored, 3u);
    const auto got = All(*store_);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(ToJson(got[2]), ToJson(Hostile(3)));
}

TEST_F(JournalTest, AJournaledOldVersionDoesNotReplaceTheStoredRetry) {
    Record failed = MakeRecord("lab", 9, "alice", 2, 1, 1, Status::Failed);
    Append(failed);  // the store was down at the first attempt
    Record printed = MakeRecord("lab", 9, "alice", 2);
    printed.updatedUs = failed.updatedUs + 1;
    store_->Put(printed);  // the retry reached the store
    journal_.Replay(*store_, true);
    const auto got = All(*store_);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, Status::Printed);
}

TEST_F(JournalTest, UnreadableLinesAreKeptApartNotLost) {
    Append(MakeRecord("lab", 1, "alice", 1));
    {
        std::ofstream out(journal_.path(), std::ios::app);
        out << "{\"job_id\": 2}\nnot json\n";
    }
    Append(MakeRecord("lab", 3, "alice", 1));
    {
        std::ofstream out(journal_.path(), std::ios::app);
        out << "{\"time\":1,\"upd";  // an append cut short
    }
    const auto r = journal_.Replay(*store_, true);
    EXPECT_EQ(r.stored, 2u);
    EXPECT_EQ(r.malformed, 3u);
    EXPECT_EQ(qmtest::ReadFile(journal_.path() + ".bad"), "{\"job_id\": 2}\nnot json\n{\"time\":1,\"upd\n");
    EXPECT_EQ(All(*store_).size(), 2u);
}

TEST_F(JournalTest, AFailingStoreLeavesTheJournalWhole) {
    for (int64_t id = 1; id <= 2; ++id) Append(MakeRecord("lab", id, "alice", 1));
    const std::string before = qmtest::ReadFile(journal_.path());
    sqlite3* db = nullptr;
    sqlite3_open(dir_.Path("acct.db").c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    auto locked = OpenStore("sqlite:" + dir_.Path("acct.db"), 0);
    EXPECT_THROW(journal_.Replay(*locked, true), StoreError);
    EXPECT_EQ(qmtest::ReadFile(journal_.path()), before);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(journal_.Replay(*store_, true).stored, 2u);
}

TEST_F(JournalTest, ABusyJournalIsLeftToTheProcessReplayingIt) {
    Append(MakeRecord("lab", 1, "alice", 1));
    const int fd = ::open(journal_.path().c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const auto r = journal_.Replay(*store_, false);
    EXPECT_TRUE(r.busy);
    EXPECT_EQ(r.stored, 0u);
    ::close(fd);
    EXPECT_EQ(journal_.Replay(*store_, false).stored, 1u);
}

TEST(AccountingReport, DatesAndCsv) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(ParseDate("2027-01-01"), std::optional<int64_t>(1'798'761'600));
    for (const char* bad : {"2027-02-30", "2027-13-01", "2027-1-01", "27-01-01xx", "2027/01/01", ""})
        EXPECT_FALSE(ParseDate(bad)) << bad;
    ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
}

}  // namespace
