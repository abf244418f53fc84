// The wrapper in front of a job: NULs and 0x04 left by spoolers, a UTF-8 BOM,
// the universal exit language, PJL lines and Epson's EJL header. Detection
// classifies what follows it. Some inkjet drivers reset the printer (ESC E)
// before the universal exit language; a reset right in front of it belongs
// to the wrapper too.
#include <algorithm>

#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

constexpr std::string_view kUel = "\x1b%-12345X";
constexpr std::string_view kReset = "\x1b" "E";
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

}  // namespace

BidInput Unwrap(Bytes job, char (&pjlLanguage)[32], char (&ejlLanguage)[32]) noexcept {
    BidInput in;
    in.size = job.size;
    in.head = Bytes(job.data, std::min(job.size, kHeadBytes));
    const uint32_t tailSize = std::min(job.size, kTailBytes);
    in.tail = Bytes(job.data + (job.size - tailSize), tailSize);
    pjlLanguage[0] = ejlLanguage[0] = '\0';

    const Bytes h = in.head;
    uint32_t i = 0;
    for (;;) {
        const int b = h.at(i);
        if (b == 0x00 || b == 0x04 || b == '\r' || b == '\n') {
            ++i;
        } else if (h.matches(i, "\xEF\xBB\xBF")) {
            i += 3;
        } else if (h.matches(i, kUel)) {
            i += static_cast<uint32_t>(kUel.size());
            in.pjl = true;
        } else if (h.matches(i, kReset) && h.matches(i + static_cast<uint32_t>(kReset.size()), kUel)) {
            i += static_cast<uint32_t>(kReset.size());
        } else if (h.matchesNoCase(i, "@PJL")) {
            in.pjl = true;
            const uint32_t next = NextLine(h, i);
            const uint32_t enter = FindKey(h, i + 4, next, "ENTER");
            if (enter < next) {
                const uint32_t lang = FindKey(h, enter, next, "LANGUAGE");
                if (lang < next) in.pjlLanguage = TakeValue(Bytes(h.data, next), lang + 8, pjlLanguage);
                i = next;
                break;  // the language's own bytes follow ENTER LANGUAGE
            }
            i = next;
        } else if (h.matches(i, kEjl) || h.matchesNoCase(i, "@EJL")) {
            const uint32_t next = NextLine(h, i);
            // The language is named "LA" for short or "LANGUAGE" in full.
            const uint32_t full = FindSetting(h, i, next, " LANGUAGE");
            const uint32_t la = FindSetting(h, i, next, " LA");
            if (full < next) {
                in.ejlLanguage = TakeValue(Bytes(h.data, next), full + 9, ejlLanguage);
            } else if (la < next) {
                in.ejlLanguage = TakeValue(Bytes(h.data, next), la + 3, ejlLanguage);
            }
            // "@EJL EN LA=..." enters the language: the body follows that line.
            const bool enters = FindKey(h, i, next, "@EJL EN") < next;
            i = next;
            if (enters) break;
        } else {
            break;
        }
    }
    in.body = std::min(i, h.size);
    return in;
}

}  // namespace qm::accurate
