#include "config.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef QM_ACCOUNTING_SYSCONFDIR
#define QM_ACCOUNTING_SYSCONFDIR "/etc"
#endif
#ifndef QM_ACCOUNTING_STATEDIR
#define QM_ACCOUNTING_STATEDIR "/var/lib/quirometer"
#endif

namespace qmacct {

namespace {

std::string_view Trim(std::string_view s) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

std::optional<uint64_t> ParseCount(std::string_view s, uint64_t max) {
    if (s.empty() || s.size() > 19) return std::nullopt;
    uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max) return std::nullopt;
    return v;
}

// "<pages> per day|week|month"
std::optional<Quota> ParseQuota(std::string_view printer, std::string_view value) {
    std::istringstream in{std::string(value)};
    std::string pages, per, period, extra;
    in >> pages >> per >> period;
    if (in >> extra || per != "per") return std::nullopt;
    Quota q;
    q.printer = std::string(printer);
    const auto n = ParseCount(pages, UINT32_MAX);
    if (!n) return std::nullopt;
    q.pages = *n;
    if (period == "day") q.period = Period::Day;
    else if (period == "week") q.period = Period::Week;
    else if (period == "month") q.period = Period::Month;
    else return std::nullopt;
    return q;
}

bool IsQueueName(std::string_view name) {
    if (name == "*") return true;
    if (name.empty() || name.size() > 127) return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '#' || c == '\\' || c == '\'' || c == '"')
            return false;
    return true;
}

}  // namespace

const Quota* Config::QuotaFor(std::string_view printer) const {
    const Quota* any = nullptr;
    for (const Quota& q : quotas) {
        if (q.printer == printer) return &q;
        if (q.printer == "*") any = &q;
    }
    return any;
}

Config DefaultConfig() {
    Config c;
    c.store = "sqlite:" QM_ACCOUNTING_STATEDIR "/accounting.db";
    c.journal = QM_ACCOUNTING_STATEDIR "/accounting.journal";
    return c;
}

void ParseConfig(std::string_view text, Config& config, std::vector<std::string>& errors) {
    size_t lineNo = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++lineNo;
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        const auto fail = [&](const std::string& why) {
            errors.push_back("line " + std::to_string(lineNo) + ": " + why);
        };
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            fail("no '=' (lines are 'key = value')");
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key.substr(0, 6) == "quota " || key.substr(0, 6) == "quota\t") {
            const std::string_view printer = Trim(key.substr(6));
            const auto q = IsQueueName(printer) ? ParseQuota(printer, value) : std::nullopt;
            if (!q) {
                fail("a quota is 'quota QUEUE = PAGES per day|week|month' (QUEUE '*' for every queue)");
                continue;
            }
            std::erase_if(config.quotas, [&](const Quota& old) { return old.printer == q->printer; });
            config.quotas.push_back(*q);
        } else if (value.empty()) {
            fail("'" + std::string(key) + "' has no value");
        } else if (key == "store") {
            if (value.starts_with("sqlite:") || value.starts_with("postgresql:") || value.starts_with("postgres:"))
                config.store = std::string(value);
            else
                fail("the store is 'sqlite:PATH' or 'postgresql://...'");
        } else if (key == "journal") {
            if (value.front() == '/') config.journal = std::string(value);
            else fail("the journal is an absolute path");
        } else if (key == "server") {
            config.server = std::string(value);
        } else if (key == "timeout") {
            const auto n = ParseCount(value, 3600);
            if (n) config.timeoutSeconds = static_cast<int>(*n);
            else fail("the timeout is a number of seconds (0 to 3600)");
        } else {
            fail("unknown key '" + std::string(key) + "'");
        }
    }
}

std::string ConfigPath() {
    const char* env = std::getenv("QUIROMETER_ACCOUNTING_CONF");
    if (env != nullptr && *env != '\0') return env;
    return QM_ACCOUNTING_SYSCONFDIR "/quirometer/accounting.conf";
}

Config LoadConfig(const std::string& path, bool mustExist, std::vector<std::string>& errors) {
    Config config = DefaultConfig();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno != ENOENT || mustExist) errors.push_back(path + ": " + std::strerror(errno));
        return config;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::string> found;
    ParseConfig(text.str(), config, found);
    for (auto& e : found) errors.push_back(path + ": " + e);
    return config;
}

std::time_t PeriodStart(Period period, std::time_t now) {
    std::tm t{};
    localtime_r(&now, &t);
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    if (period == Period::Week) t.tm_mday -= (t.tm_wday + 6) % 7;  // back to Monday
    if (period == Period::Month) t.tm_mday = 1;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string_view PeriodName(Period period) {
    switch (period) {
        case Period::Day: return "day";
        case Period::Week: return "week";
        default: return "month";
    }
}

}  // namespace qmacct
