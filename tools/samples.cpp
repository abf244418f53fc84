// samples: counts the bundled sample jobs and compares each with its truth.
// truth.tsv is read by its header. The columns pages, copies, color, duplex,
// paperWidth and paperLength hold what each job really prints, which the
// accurate count must meet; the same names after "compatible." hold the
// record the job's export gives by its own rules. "-", empty or a missing
// column is not stated.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "commands.h"
#include "counting.h"
#include "output.h"
#include "pool.h"
#include "system.h"

namespace qmcli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFields[] = {"pages", "copies", "color", "duplex", "paperWidth", "paperLength"};
constexpr const char* kCompatiblePrefix = "compatible.";

struct Sample {
    std::string file, tag;
    std::vector<std::pair<std::string, std::string>> stated;  // field -> value, in column order
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cols;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        cols.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) return cols;
        from = tab + 1;
    }
}

// Reads the table; false (reported) when it cannot be read or lacks a column.
bool ReadTruth(const std::string& path, Mode mode, std::vector<Sample>& samples) {
    std::ifstream in(sys::FsPath(path));
    std::string line;
    if (!in || !std::getline(in, line)) {
        std::fprintf(stderr, "quirometer: %s: cannot read the truth of the samples\n", path.c_str());
        return false;
    }
    const std::vector<std::string> header = SplitTabs(line);
    std::map<std::string, size_t> column;
    for (size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
    const std::string prefix = mode == Mode::Compatible ? kCompatiblePrefix : "";
    for (const char* n : {"file", "tag"}) {
        if (column.count(n) == 0) {
            std::fprintf(stderr, "quirometer: %s has no '%s' column\n", path.c_str(), n);
            return false;
        }
    }
    // A field without its column is not stated; a table without any has
    // nothing to compare with.
    bool anyField = false;
    for (const char* f : kFields) anyField = anyField || column.count(prefix + f) != 0;
    if (!anyField) {
        std::fprintf(stderr, "quirometer: %s has no '%spages' column (nor any other field's)\n", path.c_str(),
                     prefix.c_str());
        return false;
    }
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> cols = SplitTabs(line);
        auto at = [&](const std::string& name) {
            const auto k = column.find(name);
            return k != column.end() && k->second < cols.size() ? cols[k->second] : std::string();
        };
        Sample s{at("file"), at("tag"), {}};
        for (const char* f : kFields) {
            const std::string v = at(prefix + f);
            if (!v.empty() && v != "-") s.stated.emplace_back(f, v);
        }
        if (!s.file.empty()) samples.push_back(std::move(s));
    }
    return true;
}

// Where the samples are: installed beside the tool (share/quirometer/samples
// under the prefix the tool runs from, which also finds a staged or moved
// install), the source tree's when the tool runs from its build tree, then
// the prefix it was built for.
std::vector<std::string> SampleFolders() {
    std::vector<std::string> folders;
    std::error_code ec;
    const fs::path exe = sys::ExecutablePath();
    if (!exe.empty()) {
        const fs::path bin = exe.parent_path();
        folders.push_back(sys::Text((bin / QM_DATADIR_FROM_BINDIR / "quirometer" / "samples").lexically_normal()));
        if (fs::equivalent(bin, QM_BUILD_DIR, ec) && !ec) folders.push_back(QM_SOURCE_DIR "/samples");
    }
    folders.push_back(QM_INSTALL_DATADIR "/quirometer/samples");
    return folders;
}

std::string FindSamples() {
    for (const std::string& dir : SampleFolders())
        if (std::ifstream(sys::FsPath(dir + "/truth.tsv"))) return dir;
    return {};
}

bool Agrees(const Sample& s, const Outcome& o, Mode mode) {
    if (o.failed) return false;
    if (mode == Mode::Accurate) {
        const char* tag = QuirometerCanonicalTag(s.tag.c_str());
        if (o.pdl != (tag ? tag : s.tag)) return false;
    }
    const PageCountResult& r = o.rec;
    const std::map<std::string, double> got = {
        {"pages", r.pages}, {"copies", r.copies}, {"color", r.color}, {"duplex", r.duplex},
        {"paperWidth", r.paperWidth}, {"paperLength", r.paperLength}};
    for (const auto& [field, value] : s.stated) {
        char* end = nullptr;
        const double want = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || !(std::fabs(want - got.at(field)) <= 0.01)) return false;
    }
    return true;
}

std::string TruthText(const Sample& s) {
    std::string t;
    for (const auto& [field, value] : s.stated) t += (t.empty() ? "" : " ") + field + "=" + value;
    return t;
}

std::string TruthJson(const Sample& s) {
    std::string t = "{\"pdl\":" + JsonString(s.tag);
    for (const auto& [field, value] : s.stated) {
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        t += ",\"" + field + "\":" + (end != value.c_str() && *end == '\0' ? JsonNumber(v) : JsonString(value));
    }
    return t + "}";
}

}  // namespace

int RunSamples(const Options& opt, FILE* out) {
    const Mode mode = opt.compatible ? Mode::Compatible : Mode::Accurate;
    std::string dir = opt.dir;
    if (dir.empty()) {
        dir = FindSamples();
        if (dir.empty()) {
            std::string looked;
            for (const std::string& d : SampleFolders()) looked += (looked.empty() ? "" : ", ") + d;
            std::fprintf(stderr, "quirometer: no sample jobs found (looked in %s)\n", looked.c_str());
            return kExitUsage;
        }
    } else if (std::error_code ec; !std::filesystem::exists(sys::FsPath(dir + "/truth.tsv"), ec)) {
        std::fprintf(stderr, "quirometer: %s: no sample jobs here (no truth.tsv)\n", dir.c_str());
        return kExitUsage;
    }
    std::vector<Sample> samples;
    if (!ReadTruth(dir + "/truth.tsv", mode, samples)) return kExitUsage;
    if (samples.empty()) {
        std::fprintf(stderr, "quirometer: %s/truth.tsv lists no sample jobs\n", dir.c_str());
        return kExitUsage;
    }

    const std::vector<std::string> results =
        RunTasks(samples.size(), opt.jobs ? opt.jobs : DefaultWorkers(), [&](size_t i) {
            const Sample& s = samples[i];
            const std::string path = dir + "/" + s.file;
            if (mode == Mode::Accurate) return CountAccurate(path, {}).Encode();
            const qm::CounterInfo* c = qm::FindCounter(s.tag);
            if (c != nullptr) return CountCompatible(*c, path).Encode();
            Outcome o;  // no export of that name
            o.code = QM_E_INVALIDARG;
            o.failed = true;
            o.pdl = s.tag;
            return o.Encode();
        });

    int status = kExitOk;
    size_t agree = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const Outcome o = Outcome::Decode(results[i]);
        const bool same = Agrees(s, o, mode);
        if (same) ++agree;
        else status = kExitFailed;
        if (opt.json) {
            const std::string extra =
                ",\"truth\":" + TruthJson(s) + ",\"agrees\":" + (same ? "true" : "false");
            std::fprintf(out, "%s\n", CountJson(s.file, o, mode, extra).c_str());
        } else {
            std::fprintf(out, "%-6s %-12s %s   [%s: %s]\n", same ? "ok" : "DIFFER", s.tag.c_str(),
                         CountText(s.file, o, mode).c_str(), mode == Mode::Accurate ? "truth" : "by its rules",
                         TruthText(s).c_str());
        }
    }
    if (!opt.json)
        std::fprintf(out, "%zu of %zu sample jobs agree with %s\n", agree, samples.size(),
                     mode == Mode::Accurate ? "their truth" : "the records of their exports' rules");
    return status;
}

}  // namespace qmcli
