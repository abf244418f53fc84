// accounting.conf parsing, the quota of a queue, the periods quotas count
// over, and the cleaning of untrusted titles and user names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "accounting_testutil.h"
#include "casefile.h"
#include "config.h"
#include "record.h"

namespace {

using namespace qmacct;

std::string QuotaList(const Config& c) {
    std::string s;
    for (const Quota& q : c.quotas)
        s += (s.empty() ? "" : ",") + q.printer + "=" + std::to_string(q.pages) + "/" + std::string(PeriodName(q.period));
    return s;
}

std::string ErrorLines(const std::vector<std::string>& errors) {
    std::string s;
    for (const auto& e : errors) s += (s.empty() ? "" : ",") + e.substr(5, e.find(':') - 5);  // "line N: ..."
    return s.empty() ? "-" : s;
}

TEST(AccountingConfig, Cases) {
    const Config defaults = DefaultConfig();
    for (const auto& row : qmtest::ReadCases("accounting/cases/config.tsv")) {
        Config c = DefaultConfig();
        std::vector<std::string> errors;
        ParseConfig(row.bytes("text"), c, errors);
        const auto want = [&](const char* col, const std::string& fallback) {
            return row.text(col) == "DEFAULT" ? fallback : row.text(col);
        };
        EXPECT_EQ(c.store, want("store", defaults.store)) << row.name();
        EXPECT_EQ(c.journal, want("journal", defaults.journal)) << row.name();
        EXPECT_EQ(c.timeoutSeconds, row.num("timeout")) << row.name();
        EXPECT_EQ(QuotaList(c), row.text("quotas")) << row.name();
        EXPECT_EQ(ErrorLines(errors), row.text("errors")) << row.name();
    }
}

TEST(AccountingConfig, QueueLineBeforeEveryQueueLine) {
    Config c;
    std::vector<std::string> errors;
    ParseConfig("quota * = 10 per day\nquota lab = 50 per week\n", c, errors);
    ASSERT_NE(c.QuotaFor("lab"), nullptr);
    EXPECT_EQ(c.QuotaFor("lab")->pages, 50u);
    ASSERT_NE(c.QuotaFor("office"), nullptr);
    EXPECT_EQ(c.QuotaFor("office")->pages, 10u);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(Config{}.QuotaFor("lab"), nullptr);
}

TEST(AccountingConfig, FileNamedByEnvironmentMustExist) {
    qmtest::Scratch dir;
    std::vector<std::string> errors;
    LoadConfig(dir.Path("absent.conf"), false, errors);
    EXPECT_TRUE(errors.empty());
    LoadConfig(dir.Path("absent.conf"), true, errors);
    EXPECT_EQ(errors.size(), 1u);
    const std::string path = dir.Write("a.conf", "store = sqlite:/x\nnonsense\n");
    errors.clear();
    const Config c = LoadConfig(path, true, errors);
    EXPECT_EQ(c.store, "sqlite:/x");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], path + ": line 2: no '=' (lines are 'key = value')");
    ::setenv("QUIROMETER_ACCOUNTING_CONF", path.c_str(), 1);
    EXPECT_EQ(ConfigPath(), path);
    ::unsetenv("QUIROMETER_ACCOUNTING_CONF");
    EXPECT_NE(ConfigPath(), path);
}

// Quota periods in local time, across month, year and daylight-saving edges.
TEST(AccountingConfig, PeriodStart) {
    struct Case {
        const char* tz;
        const char* now;  // local time
        Period period;
        const char* start;
    };
    const Case cases[] = {
        {"UTC", "2026-12-07 04:50:00", Period::Day, "2026-12-07 00:00:00"},
        {"UTC", "2026-12-07 00:00:00", Period::Day, "2026-12-07 00:00:00"},
        {"UTC", "2026-12-06 23:59:59", Period::Week, "2026-11-30 00:00:00"},  // Sunday -> Monday before
        {"UTC", "2026-12-07 00:00:00", Period::Week, "2026-12-07 00:00:00"},  // Monday
        {"UTC", "2027-01-02 12:00:00", Period::Week, "2026-12-28 00:00:00"},  // across the year
        {"UTC", "2026-03-31 23:00:00", Period::Month, "2026-03-01 00:00:00"},
        {"Europe/Berlin", "2026-03-29 12:00:00", Period::Day, "2026-03-29 00:00:00"},  // 23-hour day
        {"Europe/Berlin", "2026-10-30 12:00:00", Period::Month, "2026-10-01 00:00:00"},
        {"Europe/Berlin", "2026-11-01 09:00:00", Period::Week, "2026-10-26 00:00:00"},  // week with 25 hours
    };
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz != nullptr ? oldTz : "";
    for (const Case& c : cases) {
        ::setenv("TZ", c.tz, 1);
        ::tzset();
        const auto parse = [](const char* text) {
            std::tm tm{};
            strptime(text, "%Y-%m-%d %H:%M:%S", &tm);
            tm.tm_isdst = -1;
            return std::mktime(&tm);
        };
        EXPECT_EQ(PeriodStart(c.period, parse(c.now)), parse(c.start)) << c.tz << " " << c.now;
    }
    if (oldTz != nullptr) ::setenv("TZ", saved.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}

TEST(AccountingRecord, CleanText) {
    for (const auto& row : qmtest::ReadCases("accounting/cases/clean_text.tsv"))
        EXPECT_EQ(CleanText(row.bytes("text"), static_cast<size_t>(row.num("max"))), row.bytes("clean")) << row.name();
}

}  // namespace
