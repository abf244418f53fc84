// quirometer: count pages of print jobs from the command line.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/registry.h"
#include "quirometer/quirometer.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

FILE* gOut = stdout;  // the tool's own output; library writes to fd 1 go elsewhere

const char* const kUsage =
    "usage: quirometer count --pdl TAG [--json] [--debug] [-j N] FILE...\n"
    "       quirometer list\n"
    "       quirometer samples [--dir DIR] [--json] [--debug]\n"
    "       quirometer --help | --version\n"
    "\n"
    "Counts the pages of spooled print jobs without rendering them.\n"
    "\n"
    "  count      count each FILE with the counter of TAG (see 'quirometer list');\n"
    "             FILE '-' reads the job from standard input\n"
    "  list       print the supported tags and their languages\n"
    "  samples    count the bundled sample jobs and compare each with its truth\n"
    "\n"
    "  --pdl TAG  printer language, spelled as the export spells it (case-insensitive)\n"
    "  --json     one JSON object per file instead of a text line\n"
    "  --debug    diagnostic lines and interpreter traces to standard error\n"
    "  -j N       count N files at a time (default: the number of cores)\n"
    "\n"
    "Exit status: 0 every file counted, 1 a count failed, 2 usage error.\n";

struct Options {
    std::string command;
    const qm::CounterInfo* counter = nullptr;
    bool json = false;
    bool debug = false;
    unsigned jobs = 0;
    std::string dir;
    std::vector<std::string> files;
};

struct Outcome {
    int32_t code = 0;
    bool failed = false;  // a failure code, or the PDF reader's failed-count mark
    PageCountResult rec{};
    std::string pdfError;
};

int Usage(const std::string& message) {
    std::fprintf(stderr, "quirometer: %s\n%s", message.c_str(), "Try 'quirometer --help'.\n");
    return kExitUsage;
}

std::string Hex(int32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
    return buf;
}

std::string Explain(int32_t code, const qm::CounterInfo& c, const std::string& pdfError);

std::string Explain(const Outcome& o, const qm::CounterInfo& c) {
    if (o.code == 0 && o.failed) return "the PDF reader could not count this file: " + o.pdfError;
    return Explain(o.code, c, o.pdfError);
}

std::string Explain(int32_t code, const qm::CounterInfo& c, const std::string& pdfError) {
    switch (static_cast<uint32_t>(code)) {
        case 0x80070002u: return "file not found";
        case 0x80070003u: return "folder not found";
        case 0x80070005u: return "access denied (or a folder)";
        case 0x80070020u: return "file in use by another process";
        case 0x800703EEu: return "empty file";
        case 0x80070057u: return "invalid argument";
        case 0x80004003u: return "no result record";
        case 0x80004001u: return "this counter is not built yet";
        case 0x80004005u: return pdfError.empty() ? std::string(c.notJob) : std::string(c.notJob) + ": " + pdfError;
        default: break;
    }
    if ((static_cast<uint32_t>(code) & 0xFFFF0000u) == 0x80070000u)
        return "operating-system error " + std::to_string(static_cast<uint32_t>(code) & 0xFFFFu);
    return "failed";
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char ch : s) {
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (ch < 0x20 || ch >= 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", ch);  // bytes as code points: always valid JSON
                    out += buf;
                } else {
                    out += static_cast<char>(ch);
                }
        }
    }
    return out + "\"";
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

constexpr uint32_t kPdfFailedCount = 0xFFFFFFFFu;

// Copies standard input to a private temporary file; returns its path.
std::string SpoolStdin() {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/quirometer-stdin-XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
            const ssize_t w = ::write(fd, buf + off, static_cast<size_t>(n - off));
            if (w < 0) {
                if (errno == EINTR) continue;
                ::close(fd);
                ::unlink(name.data());
                return {};
            }
            off += w;
        }
    }
    ::close(fd);
    return name.data();
}

Outcome CountOne(const qm::CounterInfo& c, const std::string& file, const std::string& stdinCopy) {
    Outcome o;
    std::memset(&o.rec, 0, sizeof o.rec);
    const std::string& path = file == "-" ? stdinCopy : file;
    o.code = c.entry(path.c_str(), &o.rec);
    // The PDF counter reports a reader failure inside the record: pages all
    // ones, code 0, the reason in its last error text.
    o.failed = o.code != 0 || (c.group == qm::Group::Pdf && o.rec.pages == kPdfFailedCount);
    if (o.failed && c.group == qm::Group::Pdf) {
        char text[512];
        pdfreadLastError(text, sizeof text);
        o.pdfError = text;
    }
    return o;
}

std::string FormatText(const std::string& file, const qm::CounterInfo& c, const Outcome& o) {
    std::ostringstream line;
    line << file << ": ";
    if (o.failed) {
        line << "failed " << Hex(o.code) << " (" << Explain(o, c) << ")";
        return line.str();
    }
    const PageCountResult& r = o.rec;
    char paper[64];
    std::snprintf(paper, sizeof paper, "%.2f x %.2f in", r.paperWidth, r.paperLength);
    line << r.pages << (r.pages == 1 ? " page, " : " pages, ") << r.copies << (r.copies == 1 ? " copy, " : " copies, ")
         << (r.color ? "colour" : "mono") << ", " << (r.duplex ? "duplex" : "simplex") << ", paper " << paper;
    return line.str();
}

std::string FormatJson(const std::string& file, const qm::CounterInfo& c, const Outcome& o) {
    std::string s = "{\"file\":" + JsonString(file) + ",\"pdl\":" + JsonString(c.tag) + ",\"code\":\"" + Hex(o.code) + "\"";
    if (!o.failed) {
        const PageCountResult& r = o.rec;
        s += ",\"pages\":" + std::to_string(r.pages) + ",\"copies\":" + std::to_string(r.copies) +
             ",\"color\":" + std::to_string(r.color) + ",\"duplex\":" + std::to_string(r.duplex) +
             ",\"paperLength\":" + Number(r.paperLength) + ",\"paperWidth\":" + Number(r.paperWidth);
    } else {
        s += ",\"error\":" + JsonString(Explain(o, c));
        if (c.group == qm::Group::Pdf) s += ",\"pdfError\":" + JsonString(o.pdfError);
    }
    return s + "}";
}

void DebugSink(const char* line, void*) { std::fputs(line, stderr); }

// Library writes to standard output (interpreter traces) go to standard error
// with --debug and nowhere otherwise; the tool keeps the real standard output.
void SeparateStandardOutput(bool debug) {
    std::fflush(stdout);
    const int keep = ::dup(1);
    if (keep < 0) return;
    const int target = debug ? ::dup(2) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (target < 0) {
        ::close(keep);
        return;
    }
    ::dup2(target, 1);
    ::close(target);
    gOut = ::fdopen(keep, "w");
    if (gOut == nullptr) gOut = stderr;
}

unsigned DefaultJobs() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

struct Task {
    const qm::CounterInfo* counter;
    std::string file;
};

// Worker processes write one message per file: a fixed header, then the
// PDF reader's error text.
struct WireOutcome {
    uint32_t index;
    int32_t code;
    uint8_t failed;
    PageCountResult rec;
    uint32_t errorLength;
};

constexpr size_t kBatchBytes = 16 * 1024;

bool WriteAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Many files are counted by separate worker processes, each taking the next
// file not yet taken (a counter shared through an anonymous mapping), so a
// few large jobs do not leave one worker idle. Each worker has its own copy
// of the counters' module-wide state, so the groups that must not overlap
// within a process never do, and counts of one language run side by side.
// Output keeps the input order.
void CountInWorkers(const std::vector<Task>& tasks, size_t workers, const std::string& stdinCopy,
                    std::vector<Outcome>& outcomes, std::vector<bool>& done) {
    void* shared = ::mmap(nullptr, sizeof(std::atomic<size_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    auto* next = new (shared) std::atomic<size_t>(0);
    std::fflush(nullptr);
    std::vector<int> pipes;
    std::vector<pid_t> children;
    for (size_t w = 0; w < workers; ++w) {
        int fds[2];
        if (::pipe(fds) != 0) break;
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            break;
        }
        if (pid == 0) {
            ::close(fds[0]);
            for (int fd : pipes) ::close(fd);
            // Results go out in batches, so the parent is not woken per file.
            std::string batch;
            for (size_t i = next->fetch_add(1); i < tasks.size(); i = next->fetch_add(1)) {
                const Outcome o = CountOne(*tasks[i].counter, tasks[i].file, stdinCopy);
                const WireOutcome m{static_cast<uint32_t>(i), o.code, static_cast<uint8_t>(o.failed), o.rec,
                                    static_cast<uint32_t>(o.pdfError.size())};
                batch.append(reinterpret_cast<const char*>(&m), sizeof m);
                batch += o.pdfError;
                if (batch.size() >= kBatchBytes) {
                    if (!WriteAll(fds[1], batch.data(), batch.size())) break;
                    batch.clear();
                }
            }
            WriteAll(fds[1], batch.data(), batch.size());
            std::fflush(nullptr);
            ::_exit(0);
        }
        ::close(fds[1]);
        pipes.push_back(fds[0]);
        children.push_back(pid);
    }
    // Read every worker as it writes, so none ever waits on a full pipe.
    std::vector<std::string> pending(pipes.size());
    std::vector<pollfd> polls;
    for (int fd : pipes) polls.push_back({fd, POLLIN, 0});
    size_t open = polls.size();
    char buf[1 << 16];
    while (open > 0) {
        if (::poll(polls.data(), polls.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t k = 0; k < polls.size(); ++k) {
            if (polls[k].fd < 0 || polls[k].revents == 0) continue;
            const ssize_t n = ::read(polls[k].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::close(polls[k].fd);
                polls[k].fd = -1;
                --open;
                continue;
            }
            std::string& in = pending[k];
            in.append(buf, static_cast<size_t>(n));
            size_t at = 0;
            WireOutcome m;
            while (in.size() - at >= sizeof m) {
                std::memcpy(&m, in.data() + at, sizeof m);
                if (in.size() - at - sizeof m < m.errorLength) break;
                if (m.index < tasks.size()) {
                    Outcome& o = outcomes[m.index];
                    o.code = m.code;
                    o.failed = m.failed != 0;
                    o.rec = m.rec;
                    o.pdfError.assign(in.data() + at + sizeof m, m.errorLength);
                    done[m.index] = true;
                }
                at += sizeof m + m.errorLength;
            }
            in.erase(0, at);
        }
    }
    for (pid_t pid : children) ::waitpid(pid, nullptr, 0);
    ::munmap(shared, sizeof(std::atomic<size_t>));
}

std::vector<Outcome> CountAll(const std::vector<Task>& tasks, unsigned jobs, const std::string& stdinCopy) {
    std::vector<Outcome> outcomes(tasks.size());
    std::vector<bool> done(tasks.size(), false);
    const size_t workers = std::min<size_t>(jobs == 0 ? 1 : jobs, tasks.size());
    if (workers > 1) CountInWorkers(tasks, workers, stdinCopy, outcomes, done);
    // Counted here: everything with one worker, and whatever a worker could
    // not report (it could not start, or it died).
    for (size_t i = 0; i < tasks.size(); ++i)
        if (!done[i]) outcomes[i] = CountOne(*tasks[i].counter, tasks[i].file, stdinCopy);
    return outcomes;
}

int RunCount(const Options& opt) {
    std::string stdinCopy;
    if (std::count(opt.files.begin(), opt.files.end(), "-") > 0) {
        stdinCopy = SpoolStdin();
        if (stdinCopy.empty()) {
            std::fprintf(stderr, "quirometer: -: cannot read standard input\n");
            return kExitFailed;
        }
    }
    std::vector<Task> tasks;
    for (const std::string& f : opt.files) tasks.push_back({opt.counter, f});
    const std::vector<Outcome> outcomes = CountAll(tasks, opt.jobs ? opt.jobs : DefaultJobs(), stdinCopy);
    if (!stdinCopy.empty()) ::unlink(stdinCopy.c_str());

    int status = kExitOk;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const Outcome& o = outcomes[i];
        const std::string shown = tasks[i].file;
        std::fprintf(gOut, "%s\n",
                     (opt.json ? FormatJson(shown, *opt.counter, o) : FormatText(shown, *opt.counter, o)).c_str());
        if (o.failed) {
            status = kExitFailed;
            std::fprintf(stderr, "quirometer: %s: %s\n", shown.c_str(), Explain(o, *opt.counter).c_str());
        }
    }
    return status;
}

int RunList() {
    for (const qm::CounterInfo& c : qm::Counters()) std::fprintf(gOut, "%-13s %s\n", c.tag, c.language);
    return kExitOk;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cols;
    std::string col;
    std::istringstream in(line);
    while (std::getline(in, col, '\t')) cols.push_back(col);
    return cols;
}

// samples/truth.tsv: file, tag, pages, copies, color, duplex, paperWidth,
// paperLength, note. A "-" or empty column is not compared.
int RunSamples(const Options& opt) {
    std::string dir = opt.dir;
    if (dir.empty()) dir = ::access("samples/truth.tsv", R_OK) == 0 ? "samples" : QM_SOURCE_DIR "/samples";
    std::ifstream truth(dir + "/truth.tsv");
    if (!truth) {
        std::fprintf(gOut, "no sample jobs yet (%s/truth.tsv is missing)\n", dir.c_str());
        return kExitOk;
    }
    std::vector<Task> tasks;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(truth, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cols = SplitTabs(line);
        if (cols.size() < 3 || cols[0] == "file") continue;
        const qm::CounterInfo* c = qm::FindCounter(cols[1]);
        if (c == nullptr) {
            std::fprintf(stderr, "quirometer: %s: unknown tag '%s' in the truth file\n", cols[0].c_str(), cols[1].c_str());
            continue;
        }
        tasks.push_back({c, dir + "/" + cols[0]});
        rows.push_back(cols);
    }
    const std::vector<Outcome> outcomes = CountAll(tasks, opt.jobs ? opt.jobs : DefaultJobs(), {});
    int status = kExitOk;
    size_t agree = 0;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const std::vector<std::string>& cols = rows[i];
        const Outcome& o = outcomes[i];
        auto want = [&](size_t k) { return k < cols.size() && !cols[k].empty() && cols[k] != "-" ? cols[k] : std::string(); };
        bool same = !o.failed;
        const PageCountResult& r = o.rec;
        const double got[] = {double(r.pages), double(r.copies), double(r.color), double(r.duplex), r.paperWidth, r.paperLength};
        std::string expected;
        const char* names[] = {"pages", "copies", "color", "duplex", "width", "length"};
        for (size_t k = 0; k < 6; ++k) {
            const std::string w = want(k + 2);
            if (w.empty()) continue;
            expected += std::string(expected.empty() ? "" : " ") + names[k] + "=" + w;
            if (std::abs(std::atof(w.c_str()) - got[k]) > 0.01) same = false;
        }
        if (same) ++agree;
        else status = kExitFailed;
        if (opt.json) {
            std::fprintf(gOut, "%s\n", FormatJson(cols[0], *tasks[i].counter, o).c_str());
        } else {
            std::fprintf(gOut, "%-6s %-12s %s   [truth: %s]\n", same ? "ok" : "DIFFER", tasks[i].counter->tag,
                         FormatText(cols[0], *tasks[i].counter, o).c_str(), expected.c_str());
        }
    }
    if (!opt.json) std::fprintf(gOut, "%zu of %zu sample jobs agree with their truth\n", agree, tasks.size());
    return status;
}

int Parse(int argc, char** argv, Options& opt) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            opt.command = "help";
            return -1;
        } else if (a == "--version") {
            opt.command = "version";
            return -1;
        } else if (a == "--json") {
            opt.json = true;
        } else if (a == "--debug") {
            opt.debug = true;
        } else if (a == "--pdl" || a.rfind("--pdl=", 0) == 0) {
            std::string tag;
            if (a == "--pdl" ? !value(tag) : (tag = a.substr(6), false)) return Usage("--pdl needs a tag");
            opt.counter = qm::FindCounter(tag);
            if (opt.counter == nullptr) return Usage("unknown tag '" + tag + "' (see 'quirometer list')");
        } else if (a == "-j" || a.rfind("-j", 0) == 0) {
            std::string n;
            if (a == "-j" ? !value(n) : (n = a.substr(2), false)) return Usage("-j needs a number");
            char* end = nullptr;
            const long v = std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || v < 1 || v > 1024) return Usage("-j needs a number from 1 to 1024");
            opt.jobs = static_cast<unsigned>(v);
        } else if (a == "--dir") {
            if (!value(opt.dir)) return Usage("--dir needs a folder");
        } else if (a == "--") {
            opt.files.insert(opt.files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + a + "'");
        } else if (opt.command.empty()) {
            opt.command = a;
        } else {
            opt.files.push_back(a);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    const int parsed = Parse(argc, argv, opt);
    if (parsed > 0) return parsed;
    if (opt.command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (opt.command == "version") {
        std::printf("quirometer %s\n", GetQuirometerVersion());
        return kExitOk;
    }
    if (opt.command.empty()) return Usage("no command given");
    if (opt.command != "count" && opt.command != "list" && opt.command != "samples")
        return Usage("unknown command '" + opt.command + "'");
    if (opt.command == "count") {
        if (opt.counter == nullptr) return Usage("count needs --pdl TAG");
        if (opt.files.empty()) return Usage("count needs at least one FILE");
    } else if (!opt.files.empty()) {
        return Usage("'" + opt.command + "' takes no files");
    }

    SeparateStandardOutput(opt.debug);
    if (opt.debug) QuirometerSetDebugOutput(&DebugSink, nullptr);
    int status = kExitOk;
    if (opt.command == "count") status = RunCount(opt);
    else if (opt.command == "list") status = RunList();
    else status = RunSamples(opt);
    std::fflush(gOut);
    std::fflush(stdout);
    return status;
}
