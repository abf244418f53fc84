// A small line-oriented reader for classic PDF files: it finds the last
// "startxref", walks the cross-reference sections back through "/Prev", and
// answers where an object starts, whether it is the object and dictionary
// type expected, and what stands after a key in a dictionary written one key
// per line. Reads go through a buffered file stream positioned by absolute
// offsets.
//
// The state is module-wide and unlocked: one count at a time. Every operation
// except pdfreadLastError returns 1 on success and 0 on failure, after storing
// its error text (see each one for the exceptions).
#pragma once

#include <cstdint>
#include <cstdio>

namespace qm {

inline constexpr int kPdfLineCapacity = 1024;      // lines are cut at 1023 characters
inline constexpr int kPdfTailWindow = 1024;        // where "startxref" is sought
inline constexpr int kPdfErrorTextSize = 1024;
inline constexpr int kPdfXrefEntrySize = 20;

// One cross-reference section: a single subsection of fixed 20-byte entries.
struct XrefSection {
    int32_t first;    // number of the first object
    int32_t count;    // number of entries
    int32_t entries;  // file offset of the first entry
    int32_t prev;     // the trailer's "/Prev"; 0 when it has none
    XrefSection* next;  // the next, older section
};

// The sections of one count, newest first. Owns its records (malloc'd) and
// frees them on Clear() and on destruction.
class XrefSectionList {
public:
    XrefSectionList() = default;
    XrefSectionList(const XrefSectionList&) = delete;
    XrefSectionList& operator=(const XrefSectionList&) = delete;
    ~XrefSectionList() { Clear(); }

    // Allocates a detached record; null when the allocation fails.
    static XrefSection* Allocate(int32_t first, int32_t count, int32_t entries) noexcept;
    static void Free(XrefSection* section) noexcept;

    // Takes ownership of a record from Allocate() and links it at the tail.
    void Append(XrefSection* section) noexcept;
    void Clear() noexcept;
    const XrefSection* head() const noexcept { return head_; }
    int size() const noexcept;

private:
    XrefSection* head_ = nullptr;
    XrefSection* tail_ = nullptr;
};

struct PdfReaderState {
    std::FILE* stream = nullptr;
    // The tail window while "startxref" is sought, then every line read. One
    // spare byte ends the window like a line.
    char buffer[kPdfLineCapacity + 1] = {};
    XrefSectionList sections;
    int32_t rootNumber = 0, rootGeneration = 0, rootDict = 0;
    int32_t pagesNumber = 0, pagesGeneration = 0, pagesDict = 0;
    int32_t pageCount = 0;
};

// The reader's module-wide state.
PdfReaderState& pdfreadState() noexcept;

// Stores the last error text; returns 0 so that failures can return it.
int pdfreadSetError(const char* text) noexcept;

// Opens the file, loads the section list and the root reference. The stream
// stays open whatever the result; pdfreadClose() releases it.
int pdfreadOpen(const char* path) noexcept;
// Closes the stream when it is open and releases the section list.
void pdfreadClose() noexcept;

// The next line of the stream, without its line end; empty lines and the LF
// of CR LF are passed over. Fails with "unexpected end of file" on no text.
int pdfreadReadLine(char* buffer, int capacity) noexcept;

// Blanks, tabs, one optional "-" (ignored), then decimal digits in wrapping
// 32-bit arithmetic. The value is stored even without digits; succeeds when
// there was at least one digit. Sets no error text.
int pdfreadParseNumber(const char* text, int32_t* value, const char** end) noexcept;

// Does the text begin with the keyword? Letters compare in any case.
bool pdfreadHasPrefix(const char* text, const char* keyword) noexcept;

// Passes over CR and LF bytes and reports where the next byte stands (the
// last byte when the file ends first); the next read starts there.
int pdfreadSkipLineBreaks(int32_t* position) noexcept;

// Within four lines, a line that begins with "<<"; the position of the line
// after it is the dictionary position.
int pdfreadFindDict(int32_t* position) noexcept;

// The first line of the dictionary that begins with the key; the value is
// the rest of that line, blanks skipped, valid until the next line is read.
// A line beginning with ">>" ends the search: 0 without an error text.
int pdfreadFindKey(int32_t dict, const char* key, const char** value) noexcept;

// "key number generation R". Fails without a text of its own.
int pdfreadFindRef(int32_t dict, const char* key, int32_t* number, int32_t* generation) noexcept;

// The offset of an in-use object, newest section first. 0 without a text of
// its own when no section has it.
int pdfreadFindObject(int32_t number, int32_t generation, int32_t* offset) noexcept;

// The object header "number generation obj" at the offset, then its
// dictionary; when a type is given, the dictionary's "/Type" must begin with it.
int pdfreadCheckObject(int32_t offset, int32_t number, int32_t generation, int32_t* dict,
                       const char* type) noexcept;

// The "/Count" of the page tree root, into the state's pageCount.
int pdfreadGetPageCount(const char* path) noexcept;

}  // namespace qm
