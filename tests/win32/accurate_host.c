/* usage: accurate_host LIBRARY EXPORTS < LIST
 * Loads LIBRARY (QuirometerAccurate.dll on Windows, the shared library's path
 * on Linux), looks up every export of EXPORTS ("ordinal name" per line; the
 * ...W names only on Windows) and for each path of LIST prints one line:
 * detection, the accurate count (every field, the doubles' bits) and every
 * page the page callback receives, then whether a callback that stops after
 * the first page receives one page only. Built for both systems, so that the
 * two outputs can be compared byte for byte.
 *
 * On Windows the paths (UTF-8 in LIST) go to the ...W entry points; the ANSI
 * ones are called too wherever the ANSI code page can spell the path and it
 * is shorter than MAX_PATH, and must give the same, or the line says so. */
#define __USE_MINGW_ANSI_STDIO 1 /* C99 printf on Windows, as on Linux */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "library.h"
#include "quirometer/quirometer.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

typedef int32_t(QM_CDECL* DetectFunction)(const char* path, char* tag, int size);
typedef int32_t(QM_CDECL* CountFunction)(const char* path, const char* pdl, QuirometerJob* job);
typedef int32_t(QM_CDECL* CountPagesFunction)(const char* path, const char* pdl, QuirometerJob* job,
                                               QuirometerPageCallback onPage, void* context);
typedef const char*(QM_CDECL* TextFunction)(int32_t code);
typedef const char*(QM_CDECL* TagFunction)(const char* alias);

enum { kNameSize = 128, kPathSize = 8192, kLineSize = 1 << 16 };

static struct {
    DetectFunction detect;
    CountFunction count;
    CountPagesFunction countPages;
    TextFunction errorText;
    TagFunction canonicalTag;
#if defined(_WIN32)
    int32_t(QM_CDECL* detectW)(const wchar_t* path, char* tag, int size);
    int32_t(QM_CDECL* countW)(const wchar_t* path, const char* pdl, QuirometerJob* job);
    int32_t(QM_CDECL* countPagesW)(const wchar_t* path, const char* pdl, QuirometerJob* job,
                                   QuirometerPageCallback onPage, void* context);
#endif
} api;

/* strlen within a fixed-size field that may lack its NUL. */
static size_t Length(const char* s, size_t size) {
    size_t n = 0;
    while (n < size && s[n] != '\0') ++n;
    return n;
}

static uint64_t Bits(double d) {
    uint64_t u;
    memcpy(&u, &d, sizeof u);
    return u;
}

/* The page lines of one count, kept to be printed and compared. */
typedef struct {
    char text[kLineSize];
    size_t used;
    unsigned calls;
    unsigned stopAfter; /* 0: never stop */
} Pages;

static int QM_CDECL OnPage(const QuirometerPage* p, void* context) {
    Pages* pages = (Pages*)context;
    ++pages->calls;
    if (pages->used + 96 < sizeof pages->text)
        pages->used += (size_t)snprintf(pages->text + pages->used, sizeof pages->text - pages->used,
                                        " %u:%u/%u/%016llx/%016llx", (unsigned)p->number, (unsigned)p->color,
                                        (unsigned)p->side, (unsigned long long)Bits(p->paperWidth),
                                        (unsigned long long)Bits(p->paperLength));
    return pages->stopAfter != 0 && pages->calls >= pages->stopAfter;
}

/* One path's results: detection, the count, the pages, the stopped count. */
typedef struct {
    int32_t detectCode, countCode, pagesCode;
    char tag[QM_TAG_SIZE];
    QuirometerJob job, pagedJob;
    Pages pages, stopped;
} Results;

static void Clear(Results* r) {
    memset(r, 0, sizeof *r);
    memset(r->tag, 0xA5, sizeof r->tag);
    memset(&r->job, 0xA5, sizeof r->job);
    r->job.size = sizeof r->job;
    r->pagedJob = r->job;
    r->stopped.stopAfter = 1;
}

static void Ansi(const char* path, Results* r) {
    Clear(r);
    r->detectCode = api.detect(path, r->tag, (int)sizeof r->tag);
    r->countCode = api.count(path, NULL, &r->job);
    r->pagesCode = api.countPages(path, NULL, &r->pagedJob, OnPage, &r->pages);
    api.countPages(path, NULL, &r->pagedJob, OnPage, &r->stopped);
}

/* A tag field as text; bytes left as they were (0xA5) show as \xA5. */
static void PrintTag(const char* label, const char* tag, size_t size) {
    printf(" %s=", label);
    for (size_t i = 0; i < Length(tag, size); ++i) {
        const unsigned char c = (unsigned char)tag[i];
        if (c > 0x20 && c < 0x7F) putchar(c);
        else printf("\\x%02X", c);
    }
}

static void Print(const char* path, const Results* r) {
    const QuirometerJob* j = &r->job;
    printf("%s detect=%08X", path, (unsigned)r->detectCode);
    PrintTag("tag", r->tag, sizeof r->tag);
    printf(" count=%08X (%s)", (unsigned)r->countCode, api.errorText(r->countCode));
    PrintTag("pdl", j->pdl, sizeof j->pdl);
    PrintTag("detected", j->detected, sizeof j->detected);
    if (r->countCode == QM_OK)
        printf(" pages=%u copies=%u color=%u duplex=%u certainty=%u unknown=%x colorPages=%u colorUnknown=%u"
               " width=%016llx length=%016llx",
               (unsigned)j->pages, (unsigned)j->copies, (unsigned)j->color, (unsigned)j->duplex,
               (unsigned)j->certainty, (unsigned)j->unknown, (unsigned)j->colorPages,
               (unsigned)j->colorUnknownPages, (unsigned long long)Bits(j->paperWidth),
               (unsigned long long)Bits(j->paperLength));
    if (memcmp(&r->job, &r->pagedJob, sizeof r->job) != 0 || r->pagesCode != r->countCode)
        printf(" COUNTPAGES-DIFFERS");
    printf(" |%.*s | stopped after %u\n", (int)r->pages.used, r->pages.text, r->stopped.calls);
}

#if defined(_WIN32)
static int Same(const Results* a, const Results* b) {
    return a->detectCode == b->detectCode && a->countCode == b->countCode && a->pagesCode == b->pagesCode &&
           memcmp(a->tag, b->tag, sizeof a->tag) == 0 && memcmp(&a->job, &b->job, sizeof a->job) == 0 &&
           memcmp(&a->pagedJob, &b->pagedJob, sizeof a->job) == 0 && a->pages.used == b->pages.used &&
           memcmp(a->pages.text, b->pages.text, a->pages.used) == 0 && a->stopped.calls == b->stopped.calls;
}

static void Wide(const char* path, Results* r) {
    wchar_t wide[kPathSize];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, kPathSize) == 0) wide[0] = 0;
    Clear(r);
    r->detectCode = api.detectW(wide, r->tag, (int)sizeof r->tag);
    r->countCode = api.countW(wide, NULL, &r->job);
    r->pagesCode = api.countPagesW(wide, NULL, &r->pagedJob, OnPage, &r->pages);
    api.countPagesW(wide, NULL, &r->pagedJob, OnPage, &r->stopped);
}

/* The path in the ANSI code page, when that spells it exactly and it is
 * short enough for the ANSI calls. */
static int AnsiPath(const char* path, char* ansi, int size) {
    wchar_t wide[kPathSize];
    BOOL lost = FALSE;
    if (strlen(path) >= MAX_PATH || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, kPathSize) == 0)
        return 0;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, size, NULL, &lost) != 0 && !lost;
}

static void Count(const char* path) {
    static Results wide, narrow;
    char ansi[kPathSize];
    Wide(path, &wide);
    Print(path, &wide);
    if (AnsiPath(path, ansi, (int)sizeof ansi)) {
        Ansi(ansi, &narrow);
        if (!Same(&wide, &narrow)) {
            printf("ANSI-DIFFERS ");
            Print(path, &narrow);
        }
    }
}
#else
static void Count(const char* path) {
    static Results r;
    Ansi(path, &r);
    Print(path, &r);
}
#endif

static int Fail(const char* what, const char* name) {
    fprintf(stderr, "%s %s\n", what, name);
    return 2;
}

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage:", "accurate_host LIBRARY EXPORTS < LIST");
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY); /* "\n", not "\r\n", as on Linux */
#endif
    Library library = OpenLibrary(argv[1]);
    if (library == NULL) return Fail("cannot load", argv[1]);
    FILE* table = fopen(argv[2], "r");
    if (table == NULL) return Fail("cannot read", argv[2]);
    int ordinal, missing = 0;
    char name[kNameSize];
    while (fscanf(table, "%d %127s", &ordinal, name) == 2) {
#if !defined(_WIN32)
        if (name[strlen(name) - 1] == 'W') continue; /* UTF-16 paths are Windows only */
#endif
        AnyFunction f = Symbol(library, name);
        if (f == NULL) {
            fprintf(stderr, "missing export %d %s\n", ordinal, name);
            missing = 1;
            continue;
        }
        if (strcmp(name, "QuirometerDetect") == 0) api.detect = (DetectFunction)f;
        else if (strcmp(name, "QuirometerCount") == 0) api.count = (CountFunction)f;
        else if (strcmp(name, "QuirometerCountPages") == 0) api.countPages = (CountPagesFunction)f;
        else if (strcmp(name, "QuirometerErrorText") == 0) api.errorText = (TextFunction)f;
        else if (strcmp(name, "QuirometerCanonicalTag") == 0) api.canonicalTag = (TagFunction)f;
#if defined(_WIN32)
        else if (strcmp(name, "QuirometerDetectW") == 0) api.detectW = (int32_t(QM_CDECL*)(const wchar_t*, char*, int))f;
        else if (strcmp(name, "QuirometerCountW") == 0)
            api.countW = (int32_t(QM_CDECL*)(const wchar_t*, const char*, QuirometerJob*))f;
        else if (strcmp(name, "QuirometerCountPagesW") == 0)
            api.countPagesW = (int32_t(QM_CDECL*)(const wchar_t*, const char*, QuirometerJob*,
                                                  QuirometerPageCallback, void*))f;
#endif
        else {
            fprintf(stderr, "unexpected export %d %s\n", ordinal, name);
            missing = 1;
        }
    }
    fclose(table);
    if (missing) return Fail("the export table is not the one expected:", argv[2]);
    /* The count differs by system (the ...W names); that all resolved is what counts. */
    printf("exports resolved; PS is %s, pcl6 is %s\n", api.canonicalTag("PS"), api.canonicalTag("pcl6"));

    static char path[kPathSize];
    while (fgets(path, sizeof path, stdin) != NULL) {
        path[strcspn(path, "\r\n")] = '\0';
        if (path[0] != '\0') Count(path);
        fflush(stdout);
    }
    return 0;
}
