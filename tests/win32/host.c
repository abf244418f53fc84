/* usage: host LIBRARY EXPORTS < LIST
 * Loads LIBRARY (the DLL's name on Windows, the shared library's path on Linux),
 * looks up every export of EXPORTS ("ordinal name" per line) by name and counts
 * each path of LIST with every counter, a line per record: the record is filled
 * with 0xA5 first (a record left alone shows as such), doubles print with their
 * bits, diagnostic lines as "debug: " and the line. Built for both systems, so
 * that the two outputs can be compared line by line. */
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

typedef const char*(QM_CDECL* VersionFunction)(void);
typedef void(QM_CDECL* LastErrorFunction)(char* buffer, int size);

enum { kMaxExports = 64, kNameSize = 128, kPathSize = 4096 };

static const char kCounterPrefix[] = "GetTotalPageCount_";
static const char kLastErrorName[] = "?pdfreadLastError@@YAXPADH@Z";

#if defined(_WIN32)
static AnyFunction Lookup(Library library, const char* name) { return Symbol(library, name); }

/* OutputDebugStringA raises this exception with the text's length and
 * address; it continues as if a debugger had taken the text. */
static LONG CALLBACK CatchDebugLine(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* e = info->ExceptionRecord;
    if (e->ExceptionCode != DBG_PRINTEXCEPTION_C || e->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    printf("debug: %s", (const char*)e->ExceptionInformation[1]);
    return EXCEPTION_CONTINUE_EXECUTION;
}

static int CatchDebugLines(Library library) {
    (void)library;
    _setmode(_fileno(stdout), _O_BINARY); /* "\n", not "\r\n", as on Linux */
    return AddVectoredExceptionHandler(1, CatchDebugLine) != NULL;
}
#else
static AnyFunction Lookup(Library library, const char* name) {
    /* The shared library exports the C++ function under its own compiler's name. */
    return Symbol(library, strcmp(name, kLastErrorName) == 0 ? "_Z16pdfreadLastErrorPci" : name);
}

static void PrintDebugLine(const char* line, void* context) {
    (void)context;
    printf("debug: %s", line);
}

static int CatchDebugLines(Library library) {
    AnyFunction f = Lookup(library, "QuirometerSetDebugOutput");
    if (f != NULL) ((void (*)(QmDebugSink, void*))f)(PrintDebugLine, NULL);
    return f != NULL;
}
#endif

static uint64_t Bits(double d) {
    uint64_t u;
    memcpy(&u, &d, sizeof u);
    return u;
}

static int Fail(const char* what, const char* name) {
    fprintf(stderr, "%s %s\n", what, name);
    return 2;
}

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage:", "host LIBRARY EXPORTS < LIST");
    /* The counters that trace print to the same stream, through the same C
     * runtime: a large buffer keeps their many small writes cheap. */
    static char buffer[1 << 16];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    Library library = OpenLibrary(argv[1]);
    if (library == NULL) return Fail("cannot load", argv[1]);
    if (!CatchDebugLines(library)) return Fail("cannot catch the diagnostic lines of", argv[1]);
    FILE* table = fopen(argv[2], "r");
    if (table == NULL) return Fail("cannot read", argv[2]);

    static struct {
        char name[kNameSize];
        QmCountFunction count;
    } counters[kMaxExports];
    size_t nCounters = 0, nExports = 0;
    VersionFunction version = NULL;
    LastErrorFunction lastError = NULL;
    int ordinal, wrong = 0;
    char name[kNameSize];
    while (fscanf(table, "%d %127s", &ordinal, name) == 2) {
        AnyFunction f = Lookup(library, name);
        ++nExports;
        if (f == NULL) {
            fprintf(stderr, "missing export %d %s\n", ordinal, name);
            wrong = 1;
        } else if (strncmp(name, kCounterPrefix, sizeof kCounterPrefix - 1) == 0 && nCounters < kMaxExports) {
            strcpy(counters[nCounters].name, name);
            counters[nCounters++].count = (QmCountFunction)f;
        } else if (strcmp(name, "GetQuirometerVersion") == 0) {
            version = (VersionFunction)f;
        } else if (strcmp(name, kLastErrorName) == 0) {
            lastError = (LastErrorFunction)f;
        } else {
            fprintf(stderr, "unexpected export %d %s\n", ordinal, name);
            wrong = 1;
        }
    }
    fclose(table);
    if (wrong || version == NULL || lastError == NULL || nCounters == 0) {
        fprintf(stderr, "the export table is not the one expected\n");
        return 1;
    }
    printf("exports %u resolved, %u counters\nversion %s\n", (unsigned)nExports, (unsigned)nCounters, version());

    char path[kPathSize];
    while (fgets(path, sizeof path, stdin) != NULL) {
        path[strcspn(path, "\r\n")] = '\0';
        for (size_t i = 0; i < nCounters && path[0] != '\0'; ++i) {
            const char* tag = counters[i].name + sizeof kCounterPrefix - 1;
            PageCountResult r;
            memset(&r, 0xA5, sizeof r);
            const int32_t code = counters[i].count(path, &r);
            printf("%s %s code=%08X pages=%u copies=%u color=%u duplex=%u reserved=", path, tag, (unsigned)code,
                   (unsigned)r.pages, (unsigned)r.copies, (unsigned)r.color, (unsigned)r.duplex);
            for (size_t k = 0; k < sizeof r.reserved; ++k) printf("%02x", (unsigned)r.reserved[k]);
            printf(" length=%.17g/%016llx width=%.17g/%016llx", r.paperLength, (unsigned long long)Bits(r.paperLength),
                   r.paperWidth, (unsigned long long)Bits(r.paperWidth));
            if (strcmp(tag, "PDF") == 0) {
                char text[1024];
                lastError(text, (int)sizeof text);
                printf(" error=\"%s\"", text);
            }
            putchar('\n');
        }
        fflush(stdout);
    }
    return 0;
}
