// The accurate path: detection by bids and the count of what the printer
// will really do. Every language of the counter table, and of the table of
// languages without an export, has a bid Bid<TAG>
// (a confidence from a bounded look at the job's first and last bytes) and an
// accurate counter Accurate<TAG>, defined in its family's folder. A counter
// that has nothing to refine passes its export's record through.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>

#include "accurate/accurate_only_table.h"
#include "api/counter_table.h"
#include "accurate/pages.h"
#include "api/registry.h"
#include "jobfile/bytes.h"
#include "pcl/pjl.h"
#include "quirometer/quirometer.h"

namespace qm::accurate {

// Confidences a bid may give. The highest bid wins; a tie at the top, or no
// bid above kNoBid, is "unknown".
inline constexpr int kNoBid = 0;
inline constexpr int kBidWeak = 10;       // a signature other data can show too
inline constexpr int kBidSignature = 50;  // a signature only this language writes
inline constexpr int kBidStructure = 80;  // the signature, and the first records parse as the language
inline constexpr int kBidDeclared = 100;  // a PJL or EJL header names it and the body agrees

// How much of a job detection may look at, whatever its size.
inline constexpr uint32_t kHeadBytes = 64 * 1024;
inline constexpr uint32_t kTailBytes = 4 * 1024;

struct BidInput {
    Bytes head;                    // the job's first bytes, at most kHeadBytes, as they stand
    uint32_t body = 0;             // where the job proper starts in head: after NULs, 0x04, BOM, UEL, PJL, EJL
    std::string_view pjlLanguage;  // the value of "@PJL ENTER LANGUAGE", upper case; empty when none
    std::string_view ejlLanguage;  // the value of "@EJL ... LA=" in an EJL header, upper case; empty when none
    bool pjl = false;              // PJL lines (or a UEL) stood before the body
    Bytes tail;                    // the job's last bytes, at most kTailBytes (may overlap head)
    uint64_t size = 0;             // the job's whole length
};

// The job proper: the head from just after its wrapper.
inline Bytes Body(const BidInput& in) noexcept {
    return Bytes(in.head.data + in.body, in.head.size - in.body);
}

// Did the wrapper name the language (PJL ENTER LANGUAGE or EJL LA=)? Names
// are compared upper case, as Unwrap stores them.
inline bool Declares(const BidInput& in, std::string_view name) noexcept {
    return in.pjlLanguage == name || in.ejlLanguage == name;
}

// The bid of a job whose first records parse as the language: declared when
// its wrapper names the language too.
inline int Parsed(bool declared) noexcept { return declared ? kBidDeclared : kBidStructure; }

// Whether a walk that stopped at `end` of the body saw all there is to see:
// true when the head holds the whole job, so a short job is not held
// against its language.
inline bool WholeJob(const BidInput& in) noexcept { return in.head.size == in.size; }

// Reads the wrapper (leading NULs, 0x04, a UTF-8 BOM, UEL, PJL, EJL) at the
// front of `job`. What the PJL lines set goes to `pjl`; the EJL language is
// copied, upper case, into the buffer. The views of the result point into
// `pjl` and the buffer.
BidInput Unwrap(Bytes job, PjlSettings& pjl, char (&ejlLanguage)[32]) noexcept;
// The same, with the PJL language copied into a buffer of its own.
BidInput Unwrap(Bytes job, char (&pjlLanguage)[32], char (&ejlLanguage)[32]) noexcept;

// The accurate record, assembled by a counter. Starts zeroed.
struct Result {
    PageCountResult rec{};
    bool estimated = false;  // pages (or another field) inferred rather than read from structure
    uint32_t unknown = 0;    // QM_FIELD_* bits of fields the job does not let the count know
    // The pages of one copy, for counters that see each page: one Add per
    // page ejected, in order. A counter that logs none gets pages made from
    // its record by Finish; one that logs pages decides the job's colour by
    // them (see Finish).
    PageLog pages;
};

using BidFn = int (*)(const BidInput&) noexcept;
// Counts the whole job in memory. QM_OK, or QM_E_NOT_UNDERSTOOD / QM_E_ENCRYPTED
// / QM_E_FAIL with no count. May throw; the caller catches.
using AccurateFn = int32_t (*)(Bytes job, Result& out);

#define QM_DECLARE_LANGUAGE_M(TAG, ...) \
    int Bid##TAG(const BidInput& in) noexcept; \
    int32_t Accurate##TAG(Bytes job, Result& out);
#define QM_DECLARE_LANGUAGE_S(TAG, ...) QM_DECLARE_LANGUAGE_M(TAG)
QM_COUNTER_TABLE(QM_DECLARE_LANGUAGE_M, QM_DECLARE_LANGUAGE_S)
QM_ACCURATE_ONLY_TABLE(QM_DECLARE_LANGUAGE_M)
#undef QM_DECLARE_LANGUAGE_M
#undef QM_DECLARE_LANGUAGE_S

struct Language {
    // The export's row (tag, entry point, scanner, group); for a language
    // without an export, a row of its own with no entry point or scanner
    // (entry and scan null, ordinal 0), which FindCounter never returns.
    const CounterInfo* counter;
    BidFn bid;
    AccurateFn count;
};

std::span<const Language> Languages() noexcept;
// By tag or alias, any case; null when unknown.
const Language* FindLanguage(std::string_view tagOrAlias) noexcept;

struct Detection {
    const Language* winner = nullptr;  // null: unknown (no bid, a tie at the top, or a foreign language)
    int best = kNoBid;
    bool foreign = false;  // the PJL or EJL header names a language outside ours: no bid counts
    PjlSettings pjl;       // what the job's PJL header sets
};
Detection Detect(Bytes job) noexcept;
int BidOf(const Language& language, Bytes job) noexcept;

// Calls of one group keep module-wide state in the exports' code. The
// accurate count holds the language's group lock for the whole call, so
// accurate counters and PassThrough take no lock of their own.
#if defined(_WIN32)
// MinGW's win32 thread model has no std::mutex: a slim reader/writer lock
// held exclusively, which needs no setting up and no release.
class GroupMutex {
public:
    void lock() noexcept;
    void unlock() noexcept;

private:
    void* srw_ = nullptr;  // SRWLOCK_INIT
};
#else
using GroupMutex = std::mutex;
#endif
GroupMutex& GroupLock(Group g) noexcept;

// The export's own counter over bytes in memory, its record taken as it is;
// for languages whose export already counts real jobs right. Copies of 0
// become 1 and a paper of 0 x 0 is marked unknown afterwards, for every
// counter (see Finish).
int32_t PassThrough(std::string_view tag, Bytes job, Result& out);

// What every accurate count ends with: copies at least 1, colour and duplex
// 0 or 1, an unknown paper marked, and the page log made to agree with the
// record. A log of the counter's own is cut or extended (with pages of
// unknown colour, or mono in a mono job) to `pages`, and sets the job's
// colour: colour when a page is, mono when every page is, else unknown.
// With no log, the pages are made from the record: all mono for a mono job,
// the one page of a one-page colour job colour, otherwise of unknown colour.
void Finish(Result& out);

// What a PJL header sets, applied to the count of the job behind it, for
// counters that do not read PJL themselves. The body's own statement wins
// where it makes one: copies above 1, duplex, a paper size. The header
// fills the rest: its copies (the larger of COPIES and QTY), DUPLEX=ON (or
// MANUAL), its PAPER; RENDERMODE=GRAYSCALE or a monochrome COLORMODE makes
// every page black and white, whatever the body sends.
void ApplyHeader(const PjlSettings& pjl, Result& out);

// Whether a language names one of ours, as PJL ENTER LANGUAGE and EJL LA=
// write it (upper case): every tag, and the names drivers write for them.
bool IsOwnLanguageName(std::string_view name) noexcept;

// Page `number` (1-based) of a log Finish has settled, as delivered: the
// job's paper where the page names none, the side from the job's duplex
// where the page names none.
QuirometerPage Deliver(const Result& out, const Page& page, uint32_t number) noexcept;

}  // namespace qm::accurate
