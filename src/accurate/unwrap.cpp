// The wrapper in front of a job: NULs and 0x04 left by spoolers, a UTF-8 BOM,
// the universal exit language, PJL lines and Epson's EJL header. Detection
// classifies what follows it. Some inkjet drivers reset the printer (ESC E)
// before the universal exit language; a reset right in front of it belongs
// to the wrapper too. The PJL lines are read by the one PJL reader every
// accurate counter uses; what they set applies to the job behind them.
#include <algorithm>
#include <cstring>

#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

constexpr std::string_view kEjl = "\x1b\x01@EJL";

bool IsBlank(int b) noexcept { return b == ' ' || b == '\t'; }

// Copies the word that follows "=" (blanks allowed around it) up to the end
// of the line, upper case, into `out`.
std::string_view TakeValue(Bytes line, uint32_t i, char (&out)[32]) noexcept {
    while (IsBlank(line.at(i))) ++i;
    if (line.at(i) != '=') return {};
    ++i;
    while (IsBlank(line.at(i))) ++i;
    size_t n = 0;
    for (int b = line.at(i); b > ' ' && b < 0x7F && n + 1 < sizeof out; b = line.at(++i)) {
        out[n++] = static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
    }
    out[n] = '\0';
    return {out, n};
}

// Index just past the line that starts at i (past its LF), or the end.
uint32_t NextLine(Bytes b, uint32_t i) noexcept {
    const uint32_t lf = b.find(i, '\n');
    return lf < b.size ? lf + 1 : b.size;
}

// Finds `key` (case-insensitive) in the line [i, end); its index or end.
uint32_t FindKey(Bytes b, uint32_t i, uint32_t end, std::string_view key) noexcept {
    for (; i + key.size() <= end; ++i) {
        if (b.matchesNoCase(i, key)) return i;
    }
    return end;
}

// Finds the setting `key` (case-insensitive) in the line [i, end), where
// blanks or "=" follow the name; its index or end.
uint32_t FindSetting(Bytes b, uint32_t i, uint32_t end, std::string_view key) noexcept {
    for (uint32_t k = FindKey(b, i, end, key); k < end; k = FindKey(b, k + 1, end, key)) {
        const int after = b.at(k + static_cast<uint32_t>(key.size()));
        if (after == '=' || IsBlank(after)) return k;
    }
    return end;
}

// The pages of a log, all in black and white.
PageLog Mono(const PageLog& log) {
    PageLog mono;
    for (const PageLog::Run& run : log.Runs()) {
        Page p = run.page;
        p.color = QM_PAGE_MONO;
        mono.Add(p, run.count);
    }
    return mono;
}

}  // namespace

BidInput Unwrap(Bytes job, PjlSettings& pjl, char (&ejlLanguage)[32]) noexcept {
    BidInput in;
    in.size = job.size;
    in.head = Bytes(job.data, std::min(job.size, kHeadBytes));
    const uint32_t tailSize = std::min(job.size, kTailBytes);
    in.tail = Bytes(job.data + (job.size - tailSize), tailSize);
    pjl = PjlSettings{};
    ejlLanguage[0] = '\0';

    const Bytes h = in.head;
    uint32_t i = 0;
    for (;;) {
        bool uel = false;
        i = SkipWrapperBytes(h, i, uel);
        in.pjl = in.pjl || uel;
        const uint32_t next = ReadPjlLines(h, i, pjl);
        if (next != i) {
            in.pjl = true;
            i = next;
            if (pjl.entered) break;  // the language's own bytes follow ENTER LANGUAGE
        } else if (h.matches(i, kEjl) || h.matchesNoCase(i, "@EJL")) {
            const uint32_t end = NextLine(h, i);
            // The language is named "LA" for short or "LANGUAGE" in full.
            const uint32_t full = FindSetting(h, i, end, " LANGUAGE");
            const uint32_t la = FindSetting(h, i, end, " LA");
            if (full < end) {
                in.ejlLanguage = TakeValue(Bytes(h.data, end), full + 9, ejlLanguage);
            } else if (la < end) {
                in.ejlLanguage = TakeValue(Bytes(h.data, end), la + 3, ejlLanguage);
            }
            // "@EJL EN LA=..." enters the language: the body follows that line.
            const bool enters = FindKey(h, i, end, "@EJL EN") < end;
            i = end;
            if (enters) break;
        } else {
            break;
        }
    }
    in.pjlLanguage = std::string_view(pjl.language);
    in.body = std::min(i, h.size);
    return in;
}

BidInput Unwrap(Bytes job, char (&pjlLanguage)[32], char (&ejlLanguage)[32]) noexcept {
    PjlSettings pjl;
    BidInput in = Unwrap(job, pjl, ejlLanguage);
    std::memcpy(pjlLanguage, pjl.language, sizeof pjlLanguage);
    in.pjlLanguage = std::string_view(pjlLanguage, in.pjlLanguage.size());
    return in;
}

void ApplyHeader(const PjlSettings& pjl, Result& out) {
    PageCountResult& r = out.rec;
    if (pjl.CopiesStated() && r.copies <= 1) {
        r.copies = pjl.Copies();
        out.unknown &= ~QM_FIELD_COPIES;
    }
    if (pjl.duplex != PjlDuplex::Unstated) {
        if (pjl.duplex == PjlDuplex::On) r.duplex = 1;
        out.unknown &= ~QM_FIELD_DUPLEX;
    }
    if (!(r.paperWidth > 0.0 && r.paperLength > 0.0) && pjl.paperWidth > 0.0) {
        r.paperWidth = pjl.paperWidth;
        r.paperLength = pjl.paperLength;
        out.unknown &= ~QM_FIELD_PAPER;
    }
    if (pjl.Mono()) {
        r.color = 0;
        out.unknown &= ~QM_FIELD_COLOR;
        out.pages = Mono(out.pages);
    }
}

}  // namespace qm::accurate
