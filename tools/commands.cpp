// count, detect and list.
#include "commands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "counting.h"
#include "joblist.h"
#include "output.h"
#include "pool.h"

namespace qmcli {
namespace {

// The jobs of a command, with standard input copied aside when one is "-".
struct Jobs {
    std::vector<std::string> names;  // as shown
    StdinCopy stdinCopy;

    const std::string& Path(size_t i) const { return names[i] == "-" ? stdinCopy.path() : names[i]; }
};

// Returns kExitOk or kExitFailed as CollectJobs does, or kExitUsage, or -1
// when standard input could not be read (reported).
int Prepare(const Options& opt, Jobs& jobs) {
    const int status = CollectJobs(opt, jobs.names);
    if (status == kExitUsage) return status;
    if (std::find(jobs.names.begin(), jobs.names.end(), "-") != jobs.names.end() && !jobs.stdinCopy.Take()) {
        std::fprintf(stderr, "quirometer: -: cannot read standard input\n");
        return -1;
    }
    return status;
}

unsigned Workers(const Options& opt) { return opt.jobs ? opt.jobs : DefaultWorkers(); }

}  // namespace

int RunCount(const Options& opt, FILE* out) {
    Jobs jobs;
    int status = Prepare(opt, jobs);
    if (status < 0) return kExitFailed;
    if (status == kExitUsage) return status;
    const Mode mode = opt.compatible ? Mode::Compatible : Mode::Accurate;
    const qm::CounterInfo* counter = opt.compatible ? qm::FindCounter(opt.pdl) : nullptr;
    if (opt.compatible && counter == nullptr) return Usage("no export counts " + opt.pdl);
    const std::vector<std::string> results = RunTasks(jobs.names.size(), Workers(opt), [&](size_t i) {
        const std::string& path = jobs.Path(i);
        return (counter ? CountCompatible(*counter, path) : CountAccurate(path, opt.pdl, opt.pages)).Encode();
    });

    Totals totals;
    totals.accurate = mode == Mode::Accurate;
    for (size_t i = 0; i < results.size(); ++i) {
        const Outcome o = Outcome::Decode(results[i]);
        const std::string& shown = jobs.names[i];
        const std::string line = opt.json ? CountJson(shown, o, mode, {}, opt.pages) : CountText(shown, o, mode);
        std::fprintf(out, "%s\n", line.c_str());
        if (o.Mismatched()) std::fprintf(stderr, "quirometer: %s: warning: %s\n", shown.c_str(), MismatchWarning(o).c_str());
        if (o.failed) {
            status = kExitFailed;
            std::fprintf(stderr, "quirometer: %s: %s\n", shown.c_str(), Explain(o, mode).c_str());
        }
        totals.Add(o);
    }
    if (opt.total) std::fprintf(out, "%s\n", (opt.json ? totals.Json() : totals.Text()).c_str());
    return status;
}

int RunDetect(const Options& opt, FILE* out) {
    Jobs jobs;
    int status = Prepare(opt, jobs);
    if (status < 0) return kExitFailed;
    if (status == kExitUsage) return status;
    const std::vector<std::string> results =
        RunTasks(jobs.names.size(), Workers(opt), [&](size_t i) { return DetectOnly(jobs.Path(i)).Encode(); });
    for (size_t i = 0; i < results.size(); ++i) {
        const Outcome o = Outcome::Decode(results[i]);
        const std::string& shown = jobs.names[i];
        std::fprintf(out, "%s\n", (opt.json ? DetectJson(shown, o) : DetectText(shown, o)).c_str());
        if (!o.failed) continue;
        status = kExitFailed;
        // "unknown" on its line says it all; a file that could not be read is explained.
        if (o.code != QM_E_UNKNOWN_PDL)
            std::fprintf(stderr, "quirometer: %s: %s\n", shown.c_str(), QuirometerErrorText(o.code));
    }
    return status;
}

int RunList(FILE* out) {
    // The exports' languages, then those only the accurate count knows.
    for (const qm::accurate::Language& l : qm::accurate::Languages())
        std::fprintf(out, "%-13s %s\n", l.counter->tag, l.counter->language);
    return kExitOk;
}

}  // namespace qmcli
