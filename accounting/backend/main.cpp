// The quirometer CUPS backend: used with a device URI such as
// quirometer:socket://10.0.0.5:9100, it counts each job, records it, and
// hands it to the backend of the wrapped URI, whose exit status it returns.
// Whatever fails on the accounting side, the job still prints.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "../config.h"
#include "../journal.h"
#include "../record.h"
#include "../store.h"
#include "job.h"
#include "wrapped.h"

namespace {

using namespace qmacct;
using namespace qmbackend;

// backend(7) exit codes.
constexpr int kBackendOk = 0;
constexpr int kBackendFailed = 1;
constexpr int kBackendStop = 4;
constexpr int kBackendCancel = 5;

constexpr std::string_view kScheme = "quirometer:";
constexpr int kCountTimeoutSeconds = 600;

void Say(const std::string& line) {
    const std::string s = line + '\n';
    if (::write(2, s.data(), s.size()) < 0) {
    }
}

const char* Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

// The URI after the prefix ("quirometer:socket://..." -> "socket://..."),
// or empty when there is none.
std::string Unwrap(std::string_view uri) {
    if (!uri.starts_with(kScheme)) return "";
    uri.remove_prefix(kScheme.size());
    if (uri.starts_with("//") && uri.find("://") != std::string_view::npos) uri.remove_prefix(2);
    return std::string(uri);
}

// The scheme of a wrapped URI when it names a backend that may be run.
std::string SchemeOf(std::string_view uri) {
    const size_t colon = uri.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon > 63) return "";
    for (const char c : uri.substr(0, colon))
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) return "";
    const std::string scheme(uri.substr(0, colon));
    return scheme == "quirometer" || scheme.front() == '.' ? "" : scheme;
}

// The copies CUPS asks the backend for (its argv[4]).
uint32_t CupsCopies(const char* arg) {
    const long copies = std::strtol(arg, nullptr, 10);
    return copies > 1 ? static_cast<uint32_t>(std::min<long>(copies, 100000)) : 1;
}

// Whether the wrapped backend has the printer make CUPS's copies of a job
// that came through filters. The IPP backend sends such a job once and asks
// the printer for that many copies, unless the filters made an image (their
// copies are already in it); the other backends send filtered jobs once.
bool PrinterMakesCupsCopies(std::string_view scheme) {
    if (scheme != "ipp" && scheme != "ipps" && scheme != "http" && scheme != "https") return false;
    const char* type = std::getenv("FINAL_CONTENT_TYPE");
    return type == nullptr || !std::string_view(type).starts_with("image/");
}

std::optional<int64_t> ParseJobId(std::string_view s) {
    if (s.empty() || s.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string Milliseconds(std::chrono::steady_clock::time_point since) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - since);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(us.count()) / 1000.0);
    return buf;
}

int64_t NowUs() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    return int64_t{tv.tv_sec} * 1000000 + tv.tv_usec;
}

std::string ServerName(const Config& config) {
    if (!config.server.empty()) return config.server;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
    return host;
}

std::string UnknownFields(uint32_t bits) {
    constexpr std::pair<uint32_t, std::string_view> kNames[] = {{QM_FIELD_PAGES, "pages"},
        {QM_FIELD_COPIES, "copies"}, {QM_FIELD_COLOR, "color"}, {QM_FIELD_DUPLEX, "duplex"},
        {QM_FIELD_PAPER, "paper"}};
    std::string s;
    for (const auto& [bit, name] : kNames)
        if (bits & bit) s += (s.empty() ? "" : ",") + std::string(name);
    return s;
}

void AddError(Record& r, const std::string& text) {
    r.error = CleanText(r.error.empty() ? text : r.error + "; " + text, kMaxErrorBytes);
}

// The count's result in the record.
void Fill(Record& r, const CountOutcome& count) {
    if (!count.error.empty()) {
        r.status = Status::NotCounted;
        AddError(r, count.error);
        return;
    }
    const QuirometerJob& j = count.job;
    r.status = Status::Printed;
    r.pdl = CleanText(std::string_view(j.pdl, strnlen(j.pdl, sizeof j.pdl)), kMaxNameBytes);
    r.pages = j.pages;
    r.copies = j.copies > 0 ? j.copies : 1;
    r.colorPages = j.colorPages;
    r.colorUnknownPages = j.colorUnknownPages;
    r.duplex = j.duplex != 0;
    r.sheets = SheetsFor(j.pages, uint64_t{r.copies} * r.cupsCopies, r.duplex);
    r.paperWidth = j.paperWidth;
    r.paperLength = j.paperLength;
    r.certainty = j.certainty == QM_CERTAINTY_ESTIMATED ? "estimated" : "exact";
    r.unknown = UnknownFields(j.unknown);
}

// Writes the record to the store (replaying the journal first), else to the
// journal, else to CUPS's log: it is never dropped silently.
class Recorder {
public:
    explicit Recorder(const Config& config) : config_(config), journal_(config.journal) {}

    // Returns the quota outcome when the store applied one.
    PutResult Write(Record& record, const QuotaCheck* quota) {
        record.updatedUs = NowUs();
        if (!storeFailed_) {
            try {
                if (!store_) {
                    store_ = OpenStore(config_.store, config_.timeoutSeconds);
                    ReplayJournal();
                }
                return store_->Put(record, quota);
            } catch (const std::exception& e) {
                // Not tried again for this job: a second wait for a locked store would only delay it.
                store_.reset();
                storeFailed_ = true;
                Say("WARNING: Accounting store unavailable, the record goes to the journal: " + std::string(e.what()));
            }
        }
        std::string error;
        if (!journal_.Append(record, error)) {
            Say("ERROR: Accounting record could not be stored or journaled: " + error);
            Say("DEBUG: quirometer record " +
                ToJson(record).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        }
        return {};
    }

private:
    void ReplayJournal() {
        if (!journal_.Pending()) return;
        try {
            const auto r = journal_.Replay(*store_, false);
            if (r.stored > 0) Say("DEBUG: quirometer replayed " + std::to_string(r.stored) + " journaled records");
            if (r.malformed > 0)
                Say("WARNING: " + std::to_string(r.malformed) + " unreadable journal lines kept in " +
                    journal_.path() + ".bad");
        } catch (const StoreError&) {
            throw;
        } catch (const std::exception& e) {
            Say("WARNING: Accounting journal not replayed: " + std::string(e.what()));
        }
    }

    const Config& config_;
    Journal journal_;
    std::unique_ptr<Store> store_;
    bool storeFailed_ = false;
};

int Discover() {
    std::puts("network quirometer \"Unknown\" \"Quirometer page accounting (wraps another backend)\"");
    return kBackendOk;
}

std::string QuotaMessage(const Record& r, const Quota& q, uint64_t used) {
    return "Page quota exceeded: this job prints " + std::to_string(r.Printed()) + " pages, and " + r.user +
           " has printed " + std::to_string(used) + " of " + std::to_string(q.pages) + " pages this " +
           std::string(PeriodName(q.period)) + " on " + r.printer + ".";
}

int Run(int argc, char** argv) {
    // argv: [0] device URI, [1] job id, [2] user, [3] title, [4] copies, [5] options, [6] file
    const auto jobId = ParseJobId(argv[1]);
    if (!jobId) {
        Say("ERROR: Bad job id \"" + CleanText(argv[1], 64) + "\"");
        return kBackendFailed;
    }
    const std::string deviceUri = Env("DEVICE_URI", argv[0]);
    const std::string wrapped = Unwrap(deviceUri);
    const std::string scheme = SchemeOf(wrapped);
    if (scheme.empty()) {
        // A queue set up wrong: stop it, so that its jobs wait instead of being lost.
        Say("ERROR: The device URI must be quirometer: followed by the URI of another backend, e.g. "
            "quirometer:socket://printer:9100");
        return kBackendStop;
    }
    const std::string program = std::string(Env("CUPS_SERVERBIN", "/usr/lib/cups")) + "/backend/" + scheme;
    InstallCancelHandler();
    Say("STATE: -quota-exceeded-warning");

    std::vector<std::string> configErrors;
    const char* named = std::getenv("QUIROMETER_ACCOUNTING_CONF");
    const Config config = LoadConfig(ConfigPath(), named != nullptr && *named != '\0', configErrors);
    for (const auto& e : configErrors) Say("WARNING: quirometer configuration: " + e);

    Record record;
    record.server = CleanText(ServerName(config), kMaxNameBytes);
    record.printer = CleanText(Env("PRINTER", "unknown"), kMaxNameBytes);
    record.jobId = *jobId;
    record.time = std::time(nullptr);
    record.user = CleanText(argv[2], kMaxNameBytes);
    record.title = CleanText(argv[3], kMaxTitleBytes);

    WrappedRun run;
    run.program = program;
    run.argv.assign(argv, argv + argc);
    run.argv[0] = Unwrap(argv[0]).empty() ? wrapped : Unwrap(argv[0]);
    run.deviceUri = wrapped;
    Wrapped backend;
    Recorder recorder(config);
    const auto failed = [&](const std::string& why) {
        record.status = Status::Failed;
        AddError(record, g_cancelled ? "cancelled" : why);
        recorder.Write(record, nullptr);
    };

    // The job: the file CUPS gives (sent `copies` times), or standard input.
    // A queue with a quota must know the pages before it sends: its job is
    // spooled first. Any other job on standard input is sent while it is
    // spooled, and counted when it has all come.
    const Quota* quota = config.QuotaFor(record.printer);
    Spool spool;
    std::string path;
    if (argc == 7) {
        path = argv[6];
        record.cupsCopies = CupsCopies(argv[4]);
        struct stat st{};
        if (::stat(path.c_str(), &st) == 0) record.fileSize = static_cast<uint64_t>(st.st_size);
    } else if (quota != nullptr) {
        SpoolStandardInput(Env("TMPDIR", "/tmp"), spool);
    } else {
        OpenSpool(Env("TMPDIR", "/tmp"), spool);
        run.input = kFeed;
        if (!backend.Start(run)) {
            failed(backend.result().error);
            Say("ERROR: " + backend.result().error);
            return kBackendStop;  // the queue waits with the job until the backend can run
        }
        backend.Feed(spool);
    }
    if (argc == 6) {
        if (PrinterMakesCupsCopies(scheme)) record.cupsCopies = CupsCopies(argv[4]);
        record.fileSize = spool.size;
        if (spool.spooledAll) path = spool.path;
        if (!spool.error.empty()) Say("WARNING: " + spool.error);
    }

    CountOutcome count;
    struct Reaper {
        CountOutcome& count;
        ~Reaper() { ReapCount(count); }
    } reaper{count};
    const auto countStart = std::chrono::steady_clock::now();
    if (path.empty()) count.error = spool.error;
    else count = CountJob(path, kCountTimeoutSeconds);
    Say("DEBUG: quirometer: counted in " + Milliseconds(countStart) + " ms: " +
        (count.error.empty() ? std::string(count.job.pdl) + ", " + std::to_string(count.job.pages) + " pages"
                             : count.error));
    Fill(record, count);
    if (!spool.error.empty() && count.error.empty()) AddError(record, spool.error);

    // A quota is checked, and the job recorded, in one transaction before it is sent.
    bool recorded = false;
    if (quota != nullptr && record.status == Status::Printed) {
        const QuotaCheck check{quota->pages, static_cast<int64_t>(PeriodStart(quota->period, record.time))};
        const PutResult put = recorder.Write(record, &check);
        recorded = true;
        if (put.refused) {
            const std::string why = QuotaMessage(record, *quota, put.used);
            record.error = why;
            recorder.Write(record, nullptr);
            Say("STATE: +quota-exceeded-warning");
            Say("ERROR: " + why);
            Say("PAGE: total 0");  // CUPS's page_log would say 1
            return kBackendCancel;
        }
    }
    if (!backend.result().ran) {
        if (g_cancelled) {
            failed("cancelled before it was sent");
            return kBackendOk;
        }
        if (argc == 6) run.input = SendableInput(spool);
        if (!backend.Start(run)) {
            failed(backend.result().error);
            Say("ERROR: " + backend.result().error);
            return kBackendStop;
        }
    }
    // Otherwise the record is written while the job is being sent.
    if (!recorded) {
        const auto recordStart = std::chrono::steady_clock::now();
        recorder.Write(record, nullptr);
        Say("DEBUG: quirometer: recorded in " + Milliseconds(recordStart) + " ms");
    }

    const WrappedResult& sent = backend.Finish();
    if (record.status != Status::Printed) backend.ReleasePageLines();
    if (sent.status != kBackendOk) {
        failed(sent.error);
        return sent.status;
    }
    if (record.status == Status::Printed) Say("PAGE: total " + std::to_string(record.Printed()));
    return kBackendOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stderr, nullptr, _IOLBF, 0);
    if (argc == 1) return Discover();
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return kBackendFailed;
    }
    return Run(argc, argv);
}
