// Counting and detecting one job, in either mode, into one outcome that the
// output formats read and the worker pool carries between processes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "api/registry.h"
#include "quirometer/quirometer.h"

namespace qmcli {

enum class Mode { Accurate, Compatible };

// Sheets of one paper size a job takes, all copies.
struct PaperSheets {
    double width = 0.0;   // inches; 0 x 0: the job does not say
    double length = 0.0;
    uint64_t sheets = 0;
};

struct Outcome {
    int32_t code = QM_OK;
    bool failed = false;   // a failure code, or the PDF export's failed-count mark
    std::string pdl;       // the tag that counted (or was asked for); empty when none
    std::string detected;  // detection's tag or "unknown"; empty when it could not run
    PageCountResult rec{};
    bool estimated = false;  // accurate mode: a field was inferred, not read
    uint32_t unknown = 0;    // accurate mode: QM_FIELD_* bits
    std::string pdfError;    // compatible mode: the PDF reader's reason for a failure
    uint32_t colorPages = 0;         // accurate mode: pages of one copy in colour
    uint32_t colorUnknownPages = 0;  // ... of unknown colour
    uint64_t sheets = 0;             // accurate mode: sheets of all copies, page by page
    std::vector<PaperSheets> paper;  // accurate mode: those sheets by paper size
    std::vector<QuirometerPage> pageList;  // accurate mode, when asked for: every page of one copy

    // Forced to a language while the job plainly is another one.
    bool Mismatched() const { return !pdl.empty() && !detected.empty() && detected != "unknown" && detected != pdl; }

    std::string Encode() const;
    // A failed outcome (QM_E_FAIL) when `bytes` is not an encoded one.
    static Outcome Decode(std::string_view bytes);
};

// At most this many paper sizes are told apart in a list of sheets; sheets
// of any further size are counted under "unknown" (0 x 0).
constexpr size_t kMaxPaperSizes = 64;
// Adds `sheets` sheets of one paper size to `paper`.
void AddSheets(std::vector<PaperSheets>& paper, double width, double length, uint64_t sheets);

// The accurate count; `pdl` empty detects the language. With `listPages`
// every page of one copy is kept in the outcome.
Outcome CountAccurate(const std::string& path, const std::string& pdl, bool listPages = false);
// Exactly what the export of `counter` returns, with detection beside it.
Outcome CountCompatible(const qm::CounterInfo& counter, const std::string& path);
// Detection only: code QM_OK with `detected` the tag, or a failure.
Outcome DetectOnly(const std::string& path);

// A job read from standard input, kept in a private temporary file for as
// long as the object lives.
class StdinCopy {
public:
    StdinCopy() = default;
    ~StdinCopy();
    StdinCopy(const StdinCopy&) = delete;
    StdinCopy& operator=(const StdinCopy&) = delete;
    // Copies all of standard input; false when it cannot.
    bool Take();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace qmcli
