#include "pspdf/pdfread.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "quirometer/quirometer.h"

namespace qm {
namespace {

PdfReaderState gReader;
// Survives every count until the next failure overwrites it.
char gLastError[kPdfErrorTextSize];

constexpr char kCantOpen[] = "can't open";
constexpr char kInvalidFormat[] = "invalid format";
constexpr char kMallocFailed[] = "malloc failed";
constexpr char kSeekFailed[] = "seek failed";
constexpr char kReadFailed[] = "read failed";
constexpr char kUnexpectedEnd[] = "unexpected end of file";
constexpr char kObjNotAtOffset[] = "obj not at expected offset";
constexpr char kCantConfirmType[] = "can't confirm dictionary type";
constexpr char kRootNotInXrefs[] = "root object not in xrefs";
constexpr char kPagesNotInXrefs[] = "page object not in xrefs";
constexpr char kNoPageCount[] = "page count not in root page object";

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

const char* SkipBlanksAndTabs(const char* p) {
    while (IsBlankOrTab(*p)) ++p;
    return p;
}

// Positions the stream at an absolute offset. Offsets are signed 32-bit
// file positions: any other value is refused like a failed seek, on every
// platform alike.
bool SeekTo(int64_t offset) {
    if (gReader.stream == nullptr || offset < 0 || offset > INT32_MAX) return false;
    return std::fseek(gReader.stream, static_cast<long>(offset), SEEK_SET) == 0;
}

// Windows refuses to open a folder as a file; POSIX opens it and only the
// reads fail. A folder is refused at open on both, as a file that cannot be
// opened.
bool IsFolder(std::FILE* f) noexcept {
#if defined(_WIN32)
    (void)f;
    return false;
#else
    struct stat st;
    return ::fstat(::fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

int pdfreadSeek(int64_t offset) { return SeekTo(offset) ? 1 : pdfreadSetError(kSeekFailed); }

// A block read that must deliver every byte (an empty block counts as short).
int pdfreadReadBlock(void* buffer, size_t size) {
    if (gReader.stream == nullptr || size == 0 || std::fread(buffer, 1, size, gReader.stream) != size)
        return pdfreadSetError(kReadFailed);
    return 1;
}

// The offset of the newest section: the number after the last "startxref" of
// the tail window, parsed inside the window.
int FindStartXref(int32_t* offset) {
    std::FILE* f = gReader.stream;
    if (std::fseek(f, 0, SEEK_END) != 0) return pdfreadSetError(kSeekFailed);
    const long end = std::ftell(f);
    if (end < 0) return pdfreadSetError(kSeekFailed);
    const long n = std::min<long>(end, kPdfTailWindow);
    if (!pdfreadSeek(end - n)) return 0;
    if (!pdfreadReadBlock(gReader.buffer, static_cast<size_t>(n))) return 0;
    gReader.buffer[n] = '\0';

    constexpr long kKeywordLength = 9;  // "startxref"
    for (long at = n - kKeywordLength; at >= 1; --at) {
        if (!pdfreadHasPrefix(gReader.buffer + at, "startxref")) continue;
        long p = at + kKeywordLength;
        while (p < n && (gReader.buffer[p] == ' ' || gReader.buffer[p] == '\r' || gReader.buffer[p] == '\n' ||
                         gReader.buffer[p] == '\t'))
            ++p;
        // The window is ended by a NUL, so the number cannot run past it.
        if (!pdfreadParseNumber(gReader.buffer + p, offset, nullptr)) return pdfreadSetError(kInvalidFormat);
        return 1;
    }
    return pdfreadSetError(kInvalidFormat);
}

// Reads the section at the stream's position and appends it; its trailer's
// "/Prev" comes back in *prev. The newest section also gives the root.
int ReadSection(bool newest, int32_t* prev) {
    char* line = gReader.buffer;
    if (!pdfreadReadLine(line, kPdfLineCapacity)) return 0;
    if (!pdfreadHasPrefix(line, "xref")) return pdfreadSetError(kInvalidFormat);

    if (!pdfreadReadLine(line, kPdfLineCapacity)) return 0;
    int32_t first = 0, count = 0;
    const char* rest = line;
    if (!pdfreadParseNumber(line, &first, &rest) || !pdfreadParseNumber(rest, &count, nullptr))
        return pdfreadSetError(kInvalidFormat);

    int32_t entries = 0;
    pdfreadSkipLineBreaks(&entries);

    // Owned here until it is linked into the list, so no failure below leaks it.
    struct Pending {
        XrefSection* section;
        ~Pending() { XrefSectionList::Free(section); }
    } pending{XrefSectionList::Allocate(first, count, entries)};
    if (pending.section == nullptr) return pdfreadSetError(kMallocFailed);

    // Only one subsection is read: a second one stands where "trailer" is
    // expected.
    if (!SeekTo(int64_t{entries} + int64_t{kPdfXrefEntrySize} * count)) return pdfreadSetError(kInvalidFormat);
    if (!pdfreadReadLine(line, kPdfLineCapacity)) return 0;
    if (!pdfreadHasPrefix(line, "trailer")) return pdfreadSetError(kInvalidFormat);

    int32_t trailer = 0;
    if (!pdfreadFindDict(&trailer)) return pdfreadSetError(kInvalidFormat);
    const char* value = nullptr;
    if (pdfreadFindKey(trailer, "/Prev", &value)) {
        if (!pdfreadParseNumber(value, &pending.section->prev, nullptr)) return pdfreadSetError(kInvalidFormat);
    }
    if (newest && !pdfreadFindRef(trailer, "/Root", &gReader.rootNumber, &gReader.rootGeneration))
        return pdfreadSetError(kInvalidFormat);

    *prev = pending.section->prev;
    gReader.sections.Append(pending.section);
    pending.section = nullptr;
    return 1;
}

}  // namespace

XrefSection* XrefSectionList::Allocate(int32_t first, int32_t count, int32_t entries) noexcept {
    auto* s = static_cast<XrefSection*>(std::malloc(sizeof(XrefSection)));
    if (s != nullptr) *s = XrefSection{first, count, entries, 0, nullptr};
    return s;
}

void XrefSectionList::Free(XrefSection* section) noexcept { std::free(section); }

void XrefSectionList::Append(XrefSection* section) noexcept {
    section->next = nullptr;
    if (tail_ == nullptr) {
        head_ = section;
    } else {
        tail_->next = section;
    }
    tail_ = section;
}

void XrefSectionList::Clear() noexcept {
    while (head_ != nullptr) {
        XrefSection* next = head_->next;
        Free(head_);
        head_ = next;
    }
    tail_ = nullptr;
}

int XrefSectionList::size() const noexcept {
    int n = 0;
    for (const XrefSection* s = head_; s != nullptr; s = s->next) ++n;
    return n;
}

PdfReaderState& pdfreadState() noexcept { return gReader; }

int pdfreadSetError(const char* text) noexcept {
    std::strncpy(gLastError, text, kPdfErrorTextSize - 1);
    gLastError[kPdfErrorTextSize - 1] = '\0';
    return 0;
}

int pdfreadOpen(const char* path) noexcept {
    gReader.sections.Clear();
    if (gReader.stream != nullptr) {
        std::fclose(gReader.stream);
        gReader.stream = nullptr;
    }
    if (path == nullptr || (gReader.stream = std::fopen(path, "rb")) == nullptr) return pdfreadSetError(kCantOpen);
    if (IsFolder(gReader.stream)) {
        std::fclose(gReader.stream);
        gReader.stream = nullptr;
        return pdfreadSetError(kCantOpen);
    }

    int32_t offset = 0;
    if (!FindStartXref(&offset)) return 0;
    if (!pdfreadSeek(offset)) return 0;

    // A "/Prev" chain that comes back to a section already read would never
    // end: a marker offset, moved ahead at doubling intervals, meets the
    // chain again within twice the loop's length.
    int32_t marker = offset;
    uint32_t stride = 1, steps = 0;
    for (bool newest = true;; newest = false) {
        int32_t prev = 0;
        if (!ReadSection(newest, &prev)) return 0;
        if (prev <= 0) return 1;
        if (prev == marker) return pdfreadSetError(kInvalidFormat);
        if (++steps == stride) {
            marker = prev;
            stride *= 2;
            steps = 0;
        }
        if (!pdfreadSeek(prev)) return 0;
    }
}

void pdfreadClose() noexcept {
    if (gReader.stream != nullptr) {
        std::fclose(gReader.stream);
        gReader.stream = nullptr;
    }
    gReader.sections.Clear();
}

int pdfreadReadLine(char* buffer, int capacity) noexcept {
    int stored = 0;
    std::FILE* f = gReader.stream;
    while (f != nullptr && stored < capacity - 1) {
        const int c = std::getc(f);
        if (c == EOF) break;
        if (c == '\r' || c == '\n') {
            if (stored == 0) continue;
            break;
        }
        buffer[stored++] = static_cast<char>(c);
    }
    if (capacity > 0) buffer[stored] = '\0';
    return stored > 0 ? 1 : pdfreadSetError(kUnexpectedEnd);
}

int pdfreadParseNumber(const char* text, int32_t* value, const char** end) noexcept {
    const char* p = SkipBlanksAndTabs(text);
    if (*p == '-') ++p;  // the sign does not change the value
    uint32_t v = 0;
    const char* digits = p;
    for (; *p >= '0' && *p <= '9'; ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
    *value = static_cast<int32_t>(v);
    if (end != nullptr) *end = p;
    return p != digits ? 1 : 0;
}

bool pdfreadHasPrefix(const char* text, const char* keyword) noexcept {
    for (; *keyword != '\0'; ++text, ++keyword) {
        char a = *text, b = *keyword;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;  // also at the end of the text
    }
    return true;
}

int pdfreadSkipLineBreaks(int32_t* position) noexcept {
    std::FILE* f = gReader.stream;
    if (f == nullptr) {
        *position = 0;
        return 1;
    }
    int c;
    do {
        c = std::getc(f);
    } while (c == '\r' || c == '\n');
    // The byte just read, or the last byte when the file ended first.
    long at = std::ftell(f) - 1;
    if (at < 0) at = 0;
    *position = static_cast<int32_t>(at);
    std::fseek(f, at, SEEK_SET);
    return 1;
}

int pdfreadFindDict(int32_t* position) noexcept {
    for (int lines = 0; lines < 4; ++lines) {
        if (!pdfreadReadLine(gReader.buffer, kPdfLineCapacity)) return 0;
        if (pdfreadHasPrefix(gReader.buffer, "<<")) return pdfreadSkipLineBreaks(position);
    }
    return pdfreadSetError(kInvalidFormat);
}

int pdfreadFindKey(int32_t dict, const char* key, const char** value) noexcept {
    if (!pdfreadSeek(dict)) return 0;
    const size_t keyLength = std::strlen(key);
    for (;;) {
        if (!pdfreadReadLine(gReader.buffer, kPdfLineCapacity)) return 0;
        if (pdfreadHasPrefix(gReader.buffer, key)) {
            *value = SkipBlanksAndTabs(gReader.buffer + keyLength);
            return 1;
        }
        if (pdfreadHasPrefix(gReader.buffer, ">>")) return 0;
    }
}

int pdfreadFindRef(int32_t dict, const char* key, int32_t* number, int32_t* generation) noexcept {
    const char* p = nullptr;
    if (!pdfreadFindKey(dict, key, &p)) return 0;
    if (!pdfreadParseNumber(p, number, &p) || !pdfreadParseNumber(p, generation, &p)) return 0;
    p = SkipBlanksAndTabs(p);
    return (*p == 'R' || *p == 'r') ? 1 : 0;
}

int pdfreadFindObject(int32_t number, int32_t generation, int32_t* offset) noexcept {
    for (const XrefSection* s = gReader.sections.head(); s != nullptr; s = s->next) {
        const int64_t k = int64_t{number} - s->first;
        if (k < 0 || k >= s->count) continue;
        if (!pdfreadSeek(int64_t{s->entries} + int64_t{kPdfXrefEntrySize} * k)) return 0;
        char entry[kPdfXrefEntrySize + 1];
        if (!pdfreadReadBlock(entry, kPdfXrefEntrySize)) return 0;
        entry[kPdfXrefEntrySize] = '\0';
        int32_t at = 0, gen = 0;
        const char* p = entry;
        if (!pdfreadParseNumber(p, &at, &p) || !pdfreadParseNumber(p, &gen, &p) || gen != generation) continue;
        while (*p == ' ') ++p;
        if (*p == 'n' || *p == 'N') {
            *offset = at;
            return 1;
        }
        // Free, or another generation: an older section may still have it.
    }
    return 0;
}

int pdfreadCheckObject(int32_t offset, int32_t number, int32_t generation, int32_t* dict,
                       const char* type) noexcept {
    if (!pdfreadSeek(offset)) return 0;
    if (!pdfreadReadLine(gReader.buffer, kPdfLineCapacity)) return 0;
    int32_t n = 0, g = 0;
    const char* p = gReader.buffer;
    if (!pdfreadParseNumber(p, &n, &p) || n != number || !pdfreadParseNumber(p, &g, &p) || g != generation ||
        !pdfreadHasPrefix(SkipBlanksAndTabs(p), "obj"))
        return pdfreadSetError(kObjNotAtOffset);
    if (!pdfreadFindDict(dict)) return 0;
    if (type != nullptr) {
        const char* value = nullptr;
        if (!pdfreadFindKey(*dict, "/Type", &value) || !pdfreadHasPrefix(value, type))
            return pdfreadSetError(kCantConfirmType);
    }
    return 1;
}

int pdfreadGetPageCount(const char* path) noexcept {
    PdfReaderState& r = gReader;
    if (!pdfreadOpen(path)) return 0;
    int32_t offset = 0;
    if (!pdfreadFindObject(r.rootNumber, r.rootGeneration, &offset)) return pdfreadSetError(kRootNotInXrefs);
    if (!pdfreadCheckObject(offset, r.rootNumber, r.rootGeneration, &r.rootDict, "/Catalog")) return 0;
    if (!pdfreadFindRef(r.rootDict, "/Pages", &r.pagesNumber, &r.pagesGeneration))
        return pdfreadSetError(kInvalidFormat);
    if (!pdfreadFindObject(r.pagesNumber, r.pagesGeneration, &offset)) return pdfreadSetError(kPagesNotInXrefs);
    if (!pdfreadCheckObject(offset, r.pagesNumber, r.pagesGeneration, &r.pagesDict, "/Pages")) return 0;
    const char* value = nullptr;
    if (!pdfreadFindKey(r.pagesDict, "/Count", &value) || !pdfreadParseNumber(value, &r.pageCount, nullptr))
        return pdfreadSetError(kNoPageCount);
    return 1;
}

}  // namespace qm

QM_EXPORT void QM_CDECL pdfreadLastError(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return;
    const size_t room = static_cast<size_t>(size) - 1;
    size_t n = std::strlen(qm::gLastError);
    if (n > room) n = room;
    std::memcpy(buffer, qm::gLastError, n);
    buffer[n] = '\0';
}
