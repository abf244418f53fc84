// The backend run as cupsd runs it, wrapping a fake backend (a script in a
// private CUPS_SERVERBIN that writes down its arguments, DEVICE_URI and the
// bytes it was sent, and exits with the status it is told).
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <pwd.h>
#include <sys/stat.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "accounting_testutil.h"
#include "casefile.h"
#include "store.h"

#include <nlohmann/json.hpp>

namespace {

using namespace qmacct;
using qmtest::Contains;
using qmtest::ReadFile;

constexpr const char* kFakeBackend = R"SH(#!/bin/sh
d=$(cd "$(dirname "$0")/../.." && pwd)
j=$1
for a in "$@"; do printf '%s\n' "$a"; done > "$d/args-$j"
id -u > "$d/uid-$j"
[ -f "$d/noread" ] && exit "$(cat "$d/status")"
printf '%s\n' "$DEVICE_URI" > "$d/uri-$j"
if [ $# -ge 6 ]; then
  : > "$d/data-$j"; i=0
  while [ $i -lt "$4" ]; do cat "$6" >> "$d/data-$j"; i=$((i+1)); done
else
  cat > "$d/data-$j"
fi
echo "PAGE: 1 1" >&2
echo "INFO: sent by the fake backend" >&2
[ -f "$d/sleep" ] && sleep "$(cat "$d/sleep")"
exit "$(cat "$d/status" 2>/dev/null || echo 0)"
)SH";

class Backend : public ::testing::Test {
protected:
    void SetUp() override {
        // Run as root, the backend counts, records and runs this fake as lp.
        ::chmod(dir_.dir().c_str(), 0777);
        dir_.Write("serverbin/backend/fake", kFakeBackend, 0755);
        Configure("timeout = 1\n");
    }
    // accounting.conf with the scratch store and journal, and `extra` lines.
    void Configure(const std::string& extra) {
        dir_.Write("accounting.conf", "store = sqlite:" + dir_.Path("acct.db") + "\njournal = " +
                                          dir_.Path("journal") + "\n" + extra);
    }
    std::map<std::string, std::string> Env(const std::string& uri = "quirometer:fake://10.0.0.5:9100") const {
        return {{"CUPS_SERVERBIN", dir_.Path("serverbin")}, {"DEVICE_URI", uri}, {"PRINTER", "lab"},
                {"TMPDIR", dir_.dir()}, {"QUIROMETER_ACCOUNTING_CONF", dir_.Path("accounting.conf")}};
    }
    // Runs a job: `file` given as the file argument, or on standard input.
    qmtest::ProcessResult Job(int64_t id, const std::string& file, bool asFile, int copies = 1,
                              const std::string& title = "report") const {
        std::vector<std::string> args = {std::to_string(id), "alice", title, std::to_string(copies), "sides=one-sided"};
        if (asFile) args.push_back(file);
        return qmtest::RunProcess(QM_BACKEND_PATH, "quirometer:fake://10.0.0.5:9100", args, Env(),
                                  asFile ? "/dev/null" : file);
    }
    std::vector<Record> Records() const {
        std::vector<Record> out;
        OpenStore("sqlite:" + dir_.Path("acct.db"), 5, true)->ForEach({}, [&](const Record& r) { out.push_back(r); });
        return out;
    }
    qmtest::ProcessResult Tool(const std::vector<std::string>& args) const {
        return qmtest::RunProcess(QM_CLI_PATH, "quirometer", args,
                                  {{"QUIROMETER_ACCOUNTING_CONF", dir_.Path("accounting.conf")}});
    }

    qmtest::Scratch dir_;
};

TEST_F(Backend, Cases) {
    for (const auto& row : qmtest::ReadCases("accounting/cases/backend.tsv")) {
        SCOPED_TRACE(row.name());
        const qmtest::Scratch scratch;
        ::chmod(scratch.dir().c_str(), 0755);
        dir_.Write("status", row.text("wrapped"));
        const std::string& job = row.text("job");
        const std::string bytes = job.starts_with("bytes:") ? row.bytes("job").substr(6)
                                                            : ReadFile(std::string(QM_SOURCE_DIR) + "/samples/" + job);
        const std::string path = scratch.Write("job", bytes);
        const bool asFile = row.text("input") == "file";
        const int copies = static_cast<int>(row.num("copies"));
        const auto run = Job(7, path, asFile, copies);

        EXPECT_EQ(run.status, row.num("exit")) << run.err;
        // The wrapped backend got CUPS's arguments, the URI without the prefix, and the job.
        std::string args = "7\nalice\nreport\n" + std::to_string(copies) + "\nsides=one-sided\n";
        if (asFile) args += path + "\n";
        EXPECT_EQ(ReadFile(dir_.Path("args-7")), args);
        EXPECT_EQ(ReadFile(dir_.Path("uri-7")), "fake://10.0.0.5:9100\n");
        std::string sent;
        for (int i = 0; i < (asFile ? copies : 1); ++i) sent += bytes;
        EXPECT_TRUE(ReadFile(dir_.Path("data-7")) == sent) << "the wrapped backend did not get the job's bytes";
        EXPECT_TRUE(Contains(run.err, "INFO: sent by the fake backend\n")) << run.err;

        const auto records = Records();
        ASSERT_EQ(records.size(), 1u);
        const Record& r = records[0];
        EXPECT_EQ(StatusName(r.status), row.text("status")) << r.error;
        EXPECT_EQ(r.pdl, row.text("pdl"));
        EXPECT_EQ(r.pages, row.num("pages"));
        EXPECT_EQ(r.copies, row.num("job_copies"));
        EXPECT_EQ(r.cupsCopies, row.num("cups_copies"));
        EXPECT_EQ(r.Printed(), row.num("printed"));
        EXPECT_EQ(r.sheets, row.num("sheets"));
        EXPECT_EQ(r.fileSize, bytes.size());
        EXPECT_EQ(r.printer, "lab");
        EXPECT_EQ(r.user, "alice");
        EXPECT_EQ(r.title, "report");
        EXPECT_EQ(r.error.empty(), r.status == Status::Printed) << r.error;
        // CUPS hears the true pages, and the wrapped backend's own count only when there is no other.
        const std::string& total = row.text("page_total");
        EXPECT_EQ(Contains(run.err, "PAGE: total "), total != "-") << run.err;
        if (total != "-") {
            EXPECT_TRUE(Contains(run.err, "\nPAGE: total " + total + "\n")) << run.err;
        }
        EXPECT_EQ(Contains(run.err, "\nPAGE: 1 1\n"), r.pdl.empty()) << run.err;
        std::filesystem::remove(dir_.Path("acct.db"));
        std::filesystem::remove(dir_.Path("acct.db-wal"));
        std::filesystem::remove(dir_.Path("acct.db-shm"));
        // Nothing of the spooled job is left in TMPDIR.
        for (const auto& e : std::filesystem::directory_iterator(dir_.dir()))
            EXPECT_FALSE(e.path().filename().string().starts_with("quirometer-")) << e.path();
    }
}

// Run as root (installed 0700), the backend never counts as root: the
// count runs as lp, so a job only root may read is not counted, and it
// still prints. The wrapped backend runs as root only when its own mode
// would have cupsd run it as root; the store belongs to lp.
TEST_F(Backend, RunAsRootCountsAsTheUnprivilegedUser) {
    const passwd* lp = ::getpwnam("lp");
    if (::geteuid() != 0 || lp == nullptr) GTEST_SKIP() << "needs root and an lp user (as cupsd runs a 0700 backend)";
    const std::string lpUid = std::to_string(lp->pw_uid);
    const std::string pcl = ReadFile(std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl");
    struct Case {
        const char* name;
        int jobMode;       // the job file's mode (root owns it)
        bool asFile;       // else on standard input, spooled by root
        int backendMode;   // the wrapped backend's
        const char* user;  // accounting.conf's user
        int exit;
        const char* status;
        const char* error;       // part of the record's error
        const char* wrappedUid;  // "lp", "0", or "" (not run)
    };
    const Case cases[] = {
        {"readable file, 0755 backend", 0644, true, 0755, "lp", 0, "printed", "", "lp"},
        {"root-only file, 0744 backend", 0600, true, 0744, "lp", 0, "not counted", "access denied", "0"},
        {"root-only stdin job", 0600, false, 0700, "lp", 0, "printed", "", "0"},
        {"0750 backend runs as root", 0644, true, 0750, "lp", 0, "printed", "", "0"},
        {"group-writable backend runs as lp", 0644, true, 0775, "lp", 0, "printed", "", "lp"},
        {"no such user: not counted", 0644, true, 0744, "nosuchuser", 0, "not counted", "no user", "0"},
        {"root refused as the user", 0644, true, 0744, "root", 0, "not counted", "is root", "0"},
        {"no user to run a 0755 backend as", 0644, true, 0755, "nosuchuser", 4, "failed", "unprivileged", ""},
    };
    int64_t id = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++id;
        Configure(std::string("user = ") + c.user + "\n");
        ::chmod(dir_.Path("serverbin/backend/fake").c_str(), static_cast<mode_t>(c.backendMode));
        const std::string job = dir_.Write("job-" + std::to_string(id), pcl, c.jobMode);
        const auto run = Job(id, job, c.asFile);
        EXPECT_EQ(run.status, c.exit) << run.err;
        const auto records = Records();
        ASSERT_EQ(records.size(), static_cast<size_t>(id));
        const Record& r = records.back();
        EXPECT_EQ(StatusName(r.status), c.status) << r.error;
        EXPECT_TRUE(Contains(r.error, c.error)) << r.error;
        const std::string uid = std::string(c.wrappedUid) == "lp" ? lpUid : c.wrappedUid;
        EXPECT_EQ(ReadFile(dir_.Path("uid-" + std::to_string(id))), uid.empty() ? "" : uid + "\n");
        if (*c.wrappedUid != '\0') {
            EXPECT_TRUE(ReadFile(dir_.Path("data-" + std::to_string(id))) == pcl);
        }
        if (r.status == Status::Printed) {
            EXPECT_TRUE(Contains(run.err, "DEBUG: quirometer: counted as uid " + lpUid + " in ")) << run.err;
            EXPECT_EQ(r.Printed(), 3u);
        }
    }
    // The store was created and written as lp, so lp can go on writing it.
    struct stat st{};
    ASSERT_EQ(::stat(dir_.Path("acct.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, lp->pw_uid);
}

TEST_F(Backend, DiscoveryAndArguments) {
    auto run = qmtest::RunProcess(QM_BACKEND_PATH, "quirometer", {}, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("network quirometer \"Unknown\" \"")) << run.out;
    run = qmtest::RunProcess(QM_BACKEND_PATH, "quirometer", {"1", "alice", "title"}, Env());
    EXPECT_EQ(run.status, 1);
    run = qmtest::RunProcess(QM_BACKEND_PATH, "quirometer", {"x1", "alice", "t", "1", ""}, Env());
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("acct.db")));
}

// A queue whose URI names no backend it may run is stopped; its job waits.
TEST_F(Backend, BadDeviceUriStopsTheQueue) {
    const std::string job = dir_.Write("job", ReadFile(std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ps"));
    for (const char* uri : {"socket://10.0.0.5", "quirometer:", "quirometer:quirometer:fake://x",
                            "quirometer:../fake://x", "quirometer:/bin/sh", "quirometer:.fake://x"}) {
        const auto run = qmtest::RunProcess(QM_BACKEND_PATH, uri, {"3", "alice", "t", "1", "", job}, Env(uri));
        EXPECT_EQ(run.status, 4) << uri;
        EXPECT_TRUE(Contains(run.err, "ERROR: ")) << uri;
        EXPECT_FALSE(std::filesystem::exists(dir_.Path("args-3"))) << uri;
    }
    // A scheme without a backend: the job is recorded as failed and waits too.
    const auto run = qmtest::RunProcess(QM_BACKEND_PATH, "quirometer:nosuch://x", {"3", "alice", "t", "1", "", job},
                                        Env("quirometer:nosuch://x"));
    EXPECT_EQ(run.status, 4);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].status, Status::Failed);
    EXPECT_TRUE(Contains(Records()[0].error, "/backend/nosuch")) << Records()[0].error;
}

TEST_F(Backend, WrappedBackendGetsTheUriAsArgvZero) {
    std::filesystem::copy_file(QM_ARGV0_BACKEND_PATH, dir_.Path("serverbin/backend/argv0"));
    auto env = Env("quirometer:argv0://printer.local:631/ipp/print");
    env["ARGV0_FILE"] = dir_.Path("argv0");
    const std::string job = dir_.Write("job", "x");
    qmtest::RunProcess(QM_BACKEND_PATH, "quirometer:argv0://printer.local:631/ipp/print",
                       {"3", "alice", "t", "1", "", job}, env);
    // cupsd may hide credentials in argv[0]: it is passed on without the prefix, not taken from DEVICE_URI.
    qmtest::RunProcess(QM_BACKEND_PATH, "quirometer:argv0://printer.local:631/ipp/print?x",
                       {"4", "alice", "t", "1", "", job}, env);
    EXPECT_EQ(ReadFile(dir_.Path("argv0")),
              "argv0://printer.local:631/ipp/print\nargv0://printer.local:631/ipp/print?x\n");
}

// A job on standard input is sent while it is spooled: larger than a pipe
// holds, it still reaches the wrapped backend whole, and one that stops
// reading does not stall the backend, which still spools and counts it all.
TEST_F(Backend, StandardInputIsSentWhileSpooled) {
    std::string bytes;
    const std::string one = ReadFile(std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl");
    while (bytes.size() < 3 * 1024 * 1024) bytes += one;
    const std::string job = dir_.Write("big", bytes);
    EXPECT_EQ(Job(1, job, false).status, 0);
    EXPECT_TRUE(ReadFile(dir_.Path("data-1")) == bytes);
    dir_.Write("noread", "");
    dir_.Write("status", "1");
    EXPECT_EQ(Job(2, job, false).status, 1);
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    for (const Record& r : records) {
        EXPECT_EQ(r.fileSize, bytes.size());
        EXPECT_EQ(r.pages, bytes.size() / one.size()) << r.error;
    }
    EXPECT_EQ(records[0].status, Status::Printed);
    EXPECT_EQ(records[1].status, Status::Failed);
}

// No room to spool: the job is sent anyway, and recorded as not counted.
TEST_F(Backend, UnspoolableJobStillPrints) {
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl";
    for (const bool withQuota : {false, true}) {
        if (withQuota) Configure("quota lab = 100 per day\n");
        auto env = Env();
        env["TMPDIR"] = dir_.Path("no/such/folder");
        const int64_t id = withQuota ? 2 : 1;
        const auto run = qmtest::RunProcess(QM_BACKEND_PATH, "quirometer:fake://10.0.0.5:9100",
                                            {std::to_string(id), "alice", "t", "1", ""}, env, job);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadFile(dir_.Path("data-" + std::to_string(id))) == ReadFile(job)) << withQuota;
    }
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    for (const Record& r : records) {
        EXPECT_EQ(r.status, Status::NotCounted);
        EXPECT_TRUE(Contains(r.error, "cannot spool the job")) << r.error;
    }
}

TEST_F(Backend, RetryUpdatesTheOneRecord) {
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl";
    dir_.Write("status", "6");
    EXPECT_EQ(Job(11, job, true).status, 6);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].status, Status::Failed);
    dir_.Write("status", "0");
    EXPECT_EQ(Job(11, job, true).status, 0);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, Status::Printed);
    EXPECT_EQ(records[0].error, "");
}

TEST_F(Backend, QuotaRefusesTheJobThatWouldPassIt) {
    Configure("quota lab = 4 per day\n");
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl";  // 3 pages
    EXPECT_EQ(Job(1, job, true).status, 0);
    const auto refused = Job(2, job, true);
    EXPECT_EQ(refused.status, 5);  // CUPS_BACKEND_CANCEL: not retried
    EXPECT_TRUE(Contains(refused.err, "ERROR: Page quota exceeded: this job prints 3 pages, and alice has printed "
                                      "3 of 4 pages this day on lab.\n"))
        << refused.err;
    EXPECT_TRUE(Contains(refused.err, "STATE: +quota-exceeded-warning\n"));
    EXPECT_TRUE(Contains(refused.err, "\nPAGE: total 0\n")) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("args-2")));  // never sent
    // A job on standard input is spooled and counted before it may be sent.
    EXPECT_EQ(Job(3, job, false).status, 5);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("args-3")));
    // A job whose pages cannot be known is not held back by a quota.
    EXPECT_EQ(Job(4, dir_.Write("junk", "no language"), true).status, 0);
    // Records come in time order, then by job id: the ids follow the order run.
    const auto records = Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].status, Status::Refused);
    EXPECT_TRUE(Contains(records[1].error, "quota")) << records[1].error;
    EXPECT_EQ(records[2].status, Status::Refused);
    EXPECT_EQ(records[3].status, Status::NotCounted);
}

TEST_F(Backend, UnwritableStoreJournalsAndTheNextJobReplays) {
    dir_.Write("accounting.conf", "store = sqlite:" + dir_.Path("state/acct.db") + "\njournal = " +
                                      dir_.Path("journal") + "\ntimeout = 1\n");
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl";
    const auto first = Job(1, job, true, 1, "first \"quoted\" \x01 title");
    EXPECT_EQ(first.status, 0);
    EXPECT_TRUE(Contains(first.err, "PAGE: total 3")) << first.err;
    EXPECT_TRUE(std::filesystem::exists(dir_.Path("data-1")));
    EXPECT_TRUE(Contains(ReadFile(dir_.Path("journal")), "\"job_id\":1,")) << ReadFile(dir_.Path("journal"));
    std::filesystem::create_directory(dir_.Path("state"));
    ::chmod(dir_.Path("state").c_str(), 0777);  // the backend writes as lp when run as root
    EXPECT_EQ(Job(2, job, true).status, 0);
    EXPECT_EQ(ReadFile(dir_.Path("journal")), "");
    std::vector<Record> records;
    OpenStore("sqlite:" + dir_.Path("state/acct.db"), 1, true)->ForEach({}, [&](const Record& r) {
        records.push_back(r);
    });
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].title, "first \"quoted\" \xEF\xBF\xBD title");
    EXPECT_EQ(records[0].Printed(), 3u);
}

TEST_F(Backend, LockedStoreJournalsAndReplayMovesIt) {
    OpenStore("sqlite:" + dir_.Path("acct.db"), 1);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.Path("acct.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto run = Job(5, std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ps", false);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Contains(run.err, "WARNING: Accounting store unavailable")) << run.err;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_TRUE(Records().empty());
    auto replay = Tool({"accounting", "replay"});
    EXPECT_EQ(replay.status, 0) << replay.err;
    EXPECT_EQ(replay.out, "replayed 1 records from " + dir_.Path("journal") + "\n");
    replay = Tool({"accounting", "replay"});
    EXPECT_EQ(replay.out, "replayed 0 records from " + dir_.Path("journal") + "\n");
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].jobId, 5);
}

TEST_F(Backend, NoStoreAndNoJournalStillPrints) {
    dir_.Write("accounting.conf", "store = sqlite:" + dir_.Path("no/acct.db") + "\njournal = " +
                                      dir_.Path("no/journal") + "\n");
    const auto run = Job(6, std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ps", true);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir_.Path("data-6")));
    EXPECT_TRUE(Contains(run.err, "ERROR: Accounting record could not be stored or journaled")) << run.err;
    EXPECT_TRUE(Contains(run.err, "DEBUG: quirometer record {")) << run.err;
}

TEST_F(Backend, TwentyAtOnceGiveTwentyRecords) {
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/a4-report-3.ljet4d-duplex.pcl";
    std::vector<std::thread> threads;
    std::vector<int> status(20, -1);
    for (int i = 0; i < 20; ++i)
        threads.emplace_back([&, i] { status[static_cast<size_t>(i)] = Job(100 + i, job, i % 2 == 0).status; });
    for (auto& t : threads) t.join();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(status[static_cast<size_t>(i)], 0) << "job " << 100 + i;
    const auto records = Records();
    EXPECT_EQ(records.size(), 20u);
    uint64_t pages = 0;
    for (const Record& r : records) pages += r.Printed();
    EXPECT_EQ(pages, 60u);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("journal")) && !ReadFile(dir_.Path("journal")).empty());
}

TEST_F(Backend, CancelledJobIsRecordedAsFailed) {
    dir_.Write("sleep", "2");
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ps";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 2);
        for (const auto& [k, v] : Env()) ::setenv(k.c_str(), v.c_str(), 1);
        ::execl(QM_BACKEND_PATH, "quirometer:fake://10.0.0.5:9100", "8", "alice", "t", "1", "", job.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(126);
    }
    // Once the wrapped backend has the job, CUPS cancels it.
    for (int i = 0; i < 250 && !std::filesystem::exists(dir_.Path("args-8")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(pid, SIGTERM);
    int st = 0;
    ::waitpid(pid, &st, 0);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].status, Status::Failed);
    EXPECT_TRUE(Contains(records[0].error, "cancelled")) << records[0].error;
}

TEST_F(Backend, AccountingCommands) {
    const std::string job = std::string(QM_SOURCE_DIR) + "/samples/letter-memo-1.ljet4pjl-copies3.pcl";
    Job(1, job, true, 2, "a, \"quoted\" title");
    Job(2, dir_.Write("junk", "junk"), true);
    auto run = Tool({"accounting", "jobs", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<nlohmann::json> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 2u);
    for (const char* field : {"job_id", "printer", "user", "title", "pdl", "pages", "copies", "cups_copies",
                              "printed", "color_pages", "sheets", "status", "error"})
        EXPECT_TRUE(lines[0].contains(field)) << field;
    EXPECT_EQ(lines[0]["printed"], 6);
    EXPECT_EQ(lines[0]["title"], "a, \"quoted\" title");
    EXPECT_EQ(lines[1]["status"], "not counted");
    run = Tool({"accounting", "report", "--by", "printer", "--csv"});
    EXPECT_EQ(run.out, "printer,jobs,pages,color_pages,sheets,not_counted,failed,refused\nlab,1,6,0,6,1,0,0\n");
    run = Tool({"accounting", "report", "--json"});
    EXPECT_EQ(run.out,
              "{\"color_pages\":0,\"failed\":0,\"jobs\":1,\"not_counted\":1,\"pages\":6,\"refused\":0,\"sheets\":6,"
              "\"user\":\"alice\"}\n");
    run = Tool({"accounting", "report", "--from", "2000-01-01", "--to", "2000-12-31", "--csv"});
    EXPECT_EQ(run.out, "user,jobs,pages,color_pages,sheets,not_counted,failed,refused\n");
    run = Tool({"accounting", "jobs", "--store", "sqlite:" + dir_.Path("none.db")});
    EXPECT_EQ(run.status, 1);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"accounting"}, {"accounting", "purge"}, {"accounting", "jobs", "--csv"},
          {"accounting", "report", "--by", "week"}, {"accounting", "report", "--csv", "--json"},
          {"accounting", "report", "--from", "yesterday"}, {"accounting", "replay", "--json"},
          {"accounting", "jobs", "--store"}})
        EXPECT_EQ(Tool(bad).status, 2) << bad.back();
}

}  // namespace
