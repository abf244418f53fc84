#include "cli.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "config.h"
#include "journal.h"
#include "report.h"
#include "store.h"

namespace qmacct {

const char* const kAccountingUsage =
    "usage: quirometer accounting jobs [--json] [--from DATE] [--to DATE] [--store URL] [--config FILE]\n"
    "       quirometer accounting report [--by user|printer|day|month] [--from DATE] [--to DATE]\n"
    "                                    [--csv|--json] [--store URL] [--config FILE]\n"
    "       quirometer accounting replay [--journal PATH] [--store URL] [--config FILE]\n"
    "\n"
    "  jobs     one line per job record, oldest first (--json: one JSON object a line)\n"
    "  report   jobs, pages, colour pages and sheets printed per group (default --by user)\n"
    "  replay   move the records of the journal into the store\n"
    "\n"
    "  --store URL    sqlite:PATH or postgresql://... instead of the configured store\n"
    "  --config FILE  the configuration file (default $QUIROMETER_ACCOUNTING_CONF or the installed one)\n"
    "  --from DATE    records from this day on (YYYY-MM-DD, local time)\n"
    "  --to DATE      records up to and including this day\n";

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Args {
    std::string command;
    std::string store, config, journal, from, to, by = "user";
    bool json = false, csv = false;
};

int Usage(const std::string& why) {
    std::fprintf(stderr, "quirometer accounting: %s\n%s", why.c_str(), kAccountingUsage);
    return kUsage;
}

bool Takes(std::string_view command, std::string_view option) {
    if (option == "--store" || option == "--config") return true;
    if (option == "--journal") return command == "replay";
    if (option == "--json" || option == "--from" || option == "--to") return command != "replay";
    if (option == "--csv" || option == "--by") return command == "report";
    return false;
}

int Parse(int argc, char** argv, Args& a) {
    if (argc < 2) return Usage("no command");
    a.command = argv[1];
    if (a.command == "--help" || a.command == "-h") {
        std::fputs(kAccountingUsage, stdout);
        return -1;
    }
    if (a.command != "jobs" && a.command != "report" && a.command != "replay")
        return Usage("unknown command '" + a.command + "'");
    for (int i = 2; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (!Takes(a.command, opt)) return Usage("'" + std::string(opt) + "' is no option of " + a.command);
        if (opt == "--json") {
            a.json = true;
            continue;
        }
        if (opt == "--csv") {
            a.csv = true;
            continue;
        }
        if (i + 1 >= argc) return Usage(std::string(opt) + " needs a value");
        const std::string value = argv[++i];
        if (opt == "--store") a.store = value;
        else if (opt == "--config") a.config = value;
        else if (opt == "--journal") a.journal = value;
        else if (opt == "--from") a.from = value;
        else if (opt == "--to") a.to = value;
        else a.by = value;
    }
    if (a.json && a.csv) return Usage("--csv and --json exclude each other");
    if (!GroupByFromName(a.by)) return Usage("--by takes user, printer, day or month");
    return kOk;
}

bool Range(const Args& a, TimeRange& range) {
    if (!a.from.empty()) {
        const auto t = ParseDate(a.from);
        if (!t) return false;
        range.from = *t;
    }
    if (!a.to.empty()) {
        const auto t = ParseDate(a.to);
        if (!t) return false;
        std::time_t day = static_cast<std::time_t>(*t);
        std::tm tm{};
        localtime_r(&day, &tm);
        tm.tm_mday += 1;
        tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
        tm.tm_isdst = -1;
        range.to = static_cast<int64_t>(std::mktime(&tm));
    }
    return true;
}

std::string LocalTime(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string JobLine(const Record& r) {
    std::string s = LocalTime(r.time) + "  " + r.server + "  " + r.printer + "-" + std::to_string(r.jobId) +
                    "  " + r.user + "  " + std::string(StatusName(r.status));
    if (r.status != Status::NotCounted && !r.pdl.empty())
        s += "  " + std::to_string(r.pages) + " x " + std::to_string(r.copies) + " x " +
             std::to_string(r.cupsCopies) + " = " + std::to_string(r.Printed()) + " pages, " +
             std::to_string(r.ColorPrinted()) + " colour, " + std::to_string(r.sheets) + " sheets, " + r.pdl;
    s += "  \"" + r.title + "\"";
    if (!r.error.empty()) s += "  (" + r.error + ")";
    return s;
}

std::string Dump(const nlohmann::json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int Jobs(const Args& a, Store& store, const TimeRange& range, FILE* out) {
    store.ForEach(range, [&](const Record& r) {
        const std::string line = a.json ? Dump(ToJson(r)) : JobLine(r);
        std::fprintf(out, "%s\n", line.c_str());
    });
    return kOk;
}

int Report(const Args& a, Store& store, const TimeRange& range, FILE* out) {
    const GroupBy by = *GroupByFromName(a.by);
    const auto rows = Summarize(store, range, by);
    const std::string key(GroupByName(by));
    if (a.json) {
        for (const auto& row : rows) {
            const Totals& t = row.totals;
            const nlohmann::json j = {{key, row.group}, {"jobs", t.jobs}, {"pages", t.pages},
                                      {"color_pages", t.colorPages}, {"sheets", t.sheets},
                                      {"not_counted", t.notCounted}, {"failed", t.failed},
                                      {"refused", t.refused}};
            std::fprintf(out, "%s\n", Dump(j).c_str());
        }
        return kOk;
    }
    const auto line = [&](const std::string& group, const Totals& t) {
        if (a.csv)
            std::fprintf(out, "%s,%llu,%llu,%llu,%llu,%llu,%llu,%llu\n", CsvField(group).c_str(),
                         (unsigned long long)t.jobs, (unsigned long long)t.pages,
                         (unsigned long long)t.colorPages, (unsigned long long)t.sheets,
                         (unsigned long long)t.notCounted, (unsigned long long)t.failed,
                         (unsigned long long)t.refused);
        else
            std::fprintf(out, "%-24s %8llu %10llu %10llu %10llu %11llu %8llu %8llu\n", group.c_str(),
                         (unsigned long long)t.jobs, (unsigned long long)t.pages,
                         (unsigned long long)t.colorPages, (unsigned long long)t.sheets,
                         (unsigned long long)t.notCounted, (unsigned long long)t.failed,
                         (unsigned long long)t.refused);
    };
    if (a.csv)
        std::fprintf(out, "%s,jobs,pages,color_pages,sheets,not_counted,failed,refused\n", key.c_str());
    else
        std::fprintf(out, "%-24s %8s %10s %10s %10s %11s %8s %8s\n", key.c_str(), "jobs", "pages", "colour",
                     "sheets", "not counted", "failed", "refused");
    Totals all;
    for (const auto& row : rows) {
        line(row.group, row.totals);
        all.Add(row.totals);
    }
    if (!a.csv) line("total", all);
    return kOk;
}

int Replay(const std::string& journalPath, Store& store, FILE* out) {
    const Journal journal(journalPath);
    const auto r = journal.Replay(store, true);
    std::fprintf(out, "replayed %zu records from %s\n", r.stored, journalPath.c_str());
    if (r.malformed > 0)
        std::fprintf(stderr, "quirometer accounting: %zu unreadable lines kept in %s.bad\n", r.malformed,
                     journalPath.c_str());
    return kOk;
}

}  // namespace

int RunAccounting(int argc, char** argv, FILE* out) {
    Args a;
    if (const int status = Parse(argc, argv, a); status != kOk) return status < 0 ? kOk : status;
    TimeRange range;
    if (!Range(a, range)) return Usage("dates are YYYY-MM-DD");

    std::vector<std::string> errors;
    const bool named = !a.config.empty() || std::getenv("QUIROMETER_ACCOUNTING_CONF") != nullptr;
    Config config = LoadConfig(a.config.empty() ? ConfigPath() : a.config, named, errors);
    for (const auto& e : errors) std::fprintf(stderr, "quirometer accounting: %s\n", e.c_str());
    if (!a.store.empty()) config.store = a.store;
    if (!a.journal.empty()) config.journal = a.journal;

    try {
        const bool readOnly = a.command != "replay";
        auto store = OpenStore(config.store, config.timeoutSeconds, readOnly);
        const int status = a.command == "jobs"     ? Jobs(a, *store, range, out)
                           : a.command == "report" ? Report(a, *store, range, out)
                                                   : Replay(config.journal, *store, out);
        if (std::fflush(out) != 0) {
            std::fprintf(stderr, "quirometer accounting: writing the output: %s\n", std::strerror(errno));
            return kFailed;
        }
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quirometer accounting: %s\n", e.what());
        return kFailed;
    }
}

}  // namespace qmacct
