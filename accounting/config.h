// accounting.conf: where records go and which page quotas apply.
//
//   store = sqlite:/var/lib/quirometer/accounting.db   (or postgresql://...)
//   journal = /var/lib/quirometer/accounting.journal
//   server = print1                                   (default: the host name)
//   timeout = 5                                       (seconds to wait for the store)
//   quota lab = 500 per week                          (per user on queue "lab")
//   quota * = 100 per day                             (every other queue)
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmacct {

enum class Period { Day, Week, Month };

struct Quota {
    std::string printer;  // "*" for every queue without a line of its own
    uint64_t pages = 0;
    Period period = Period::Day;
};

struct Config {
    std::string store;
    std::string journal;
    std::string server;
    int timeoutSeconds = 5;
    std::vector<Quota> quotas;

    // The quota of a queue: its own line, else the "*" line, else none.
    const Quota* QuotaFor(std::string_view printer) const;
};

// The built-in defaults (a SQLite file and a journal under the install's
// state folder), which the file's lines override.
Config DefaultConfig();

// Parses the file's text into `config`. Every bad line is described in
// `errors` ("line N: ...") and skipped; the good lines still apply.
void ParseConfig(std::string_view text, Config& config, std::vector<std::string>& errors);

// The configuration file: $QUIROMETER_ACCOUNTING_CONF, else the installed one.
std::string ConfigPath();

// Reads the file at `path` over the defaults. A missing file is no error
// unless `mustExist`; an unreadable one is.
Config LoadConfig(const std::string& path, bool mustExist, std::vector<std::string>& errors);

// Start of the period that contains `now`, in local time: midnight today,
// Monday's midnight, or midnight of the first of the month.
std::time_t PeriodStart(Period period, std::time_t now);
std::string_view PeriodName(Period period);

}  // namespace qmacct
