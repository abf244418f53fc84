/* Quirometer: page counting for print accounting.
 *
 * One counting entry point per printer language. Each takes the path of a
 * spooled job (ANSI code page on Windows, bytes on Linux) and the address of
 * a caller-owned PageCountResult, reads the job once without rendering it and
 * returns an HRESULT-style code. The record is written, whole, only when the
 * call returns QM_OK; on any failure it is left exactly as it was.
 *
 * Usable from C and C++. On 32-bit Windows the counting entry points use the
 * stdcall convention; everywhere else QM_STDCALL is empty.
 */
#ifndef QUIROMETER_QUIROMETER_H
#define QUIROMETER_QUIROMETER_H

#include <stdint.h>
#if defined(_WIN32) && !defined(__cplusplus)
#include <stddef.h> /* wchar_t (UTF-16 code units on Windows) for the ...W paths */
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define QM_STDCALL __stdcall
#define QM_CDECL __cdecl
#else
#define QM_STDCALL
#define QM_CDECL
#endif

#if defined(QUIROMETER_BUILDING) && !defined(_WIN32)
#define QM_EXPORT __attribute__((visibility("default")))
#else
/* On Windows the module-definition file decides the export table. */
#define QM_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The 32-byte result record. Little-endian, natural alignment. */
typedef struct PageCountResult {
    uint32_t pages;       /* pages of one copy; never multiplied by copies */
    uint32_t copies;      /* copies the job asks for (counter's default when it names none) */
    uint8_t color;        /* 1 when the job prints in colour */
    uint8_t duplex;       /* 1 when the job asks for two-sided printing */
    uint8_t reserved[6];  /* no meaning */
    double paperLength;   /* inches; 0.0 when the size is unknown */
    double paperWidth;    /* inches; 0.0 when the size is unknown */
} PageCountResult;

#ifdef __cplusplus
#define QM_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define QM_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#ifdef __cplusplus
#define QM_OFFSETOF(type, field) __builtin_offsetof(type, field)
#else
#include <stddef.h>
#define QM_OFFSETOF(type, field) offsetof(type, field)
#endif
QM_STATIC_ASSERT(sizeof(PageCountResult) == 32, "PageCountResult is 32 bytes");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, pages) == 0, "pages at 0");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, copies) == 4, "copies at 4");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, color) == 8, "color at 8");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, duplex) == 9, "duplex at 9");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, reserved) == 10, "reserved at 10");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, paperLength) == 16, "paperLength at 16");
QM_STATIC_ASSERT(QM_OFFSETOF(PageCountResult, paperWidth) == 24, "paperWidth at 24");

/* Return codes (HRESULT values). */
#define QM_OK ((int32_t)0)
#define QM_E_FAIL ((int32_t)0x80004005)             /* job rejected, or interpreter failure */
#define QM_E_POINTER ((int32_t)0x80004003)          /* null result pointer */
#define QM_E_FILE_NOT_FOUND ((int32_t)0x80070002)   /* last error 2 */
#define QM_E_PATH_NOT_FOUND ((int32_t)0x80070003)   /* last error 3 */
#define QM_E_ACCESS_DENIED ((int32_t)0x80070005)    /* last error 5 (also a directory) */
#define QM_E_SHARING_VIOLATION ((int32_t)0x80070020) /* last error 32 */
#define QM_E_EMPTY_FILE ((int32_t)0x800703EE)       /* last error 1006: empty file cannot be mapped */
/* HRESULT_FROM_WIN32 in the form that maps 0 to 0. */
#define QM_HRESULT_FROM_WIN32(e) \
    ((e) == 0 ? (int32_t)0 : (int32_t)(((uint32_t)(e) & 0xFFFFu) | 0x80070000u))

typedef int32_t(QM_STDCALL* QmCountFunction)(const char* path, PageCountResult* result);

/* Version text "5.5.0.68.30"; static, never freed. cdecl. */
QM_EXPORT const char* QM_CDECL GetQuirometerVersion(void);

/* Counting entry points (stdcall on 32-bit Windows). */
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_ZIMF(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_Lexmark(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_HBP(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_TCPL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PPA(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_OKI(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_ZJSTREAM(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_TALLYSTREAM(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_OAKT(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PANASONIC(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_ESC_PAGE(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PCL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PCLXL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_POSTSCRIPT(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_RPCS(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_IPDL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PDF(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_HPGL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_CANON(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_ESCP2(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_CanonUFR(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_HIPERC(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_QPDL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_LIDIL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_CanonCAPT(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_BrotherNCM(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_PrintronixGL(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_FijiPhoto(const char* path, PageCountResult* result);
QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_UnixTextPCL(const char* path, PageCountResult* result);

#if !defined(_WIN32)
/* Linux only: where diagnostic lines go (Windows sends them to the debugger).
 * The sink receives each line exactly as formatted, trailing "\n" included,
 * one call per line, possibly from several threads at once. A null sink, the
 * default, discards them. */
typedef void (*QmDebugSink)(const char* line, void* context);
QM_EXPORT void QuirometerSetDebugOutput(QmDebugSink sink, void* context);

/* Linux only: the PDF reader's last error text under a C name, for callers
 * that cannot call pdfreadLastError below. Same rules: at most size-1
 * characters and a NUL; nothing is written when size <= 0. Belongs to the
 * PDF group: never call it while a PDF count runs in another thread. */
QM_EXPORT void QuirometerPdfLastError(char* buffer, int size);
#endif

/* ------------------------------------------------------------------------
 * The accurate count: the Linux library, and on Windows the separate DLL
 * QuirometerAccurate.dll (Quirometer.dll's table has none of this). It finds
 * the job's language itself and reports what the printer will really do,
 * refining each language's export where real driver output breaks that
 * export's rules. It never changes what an export returns.
 *
 * On Windows every function below, and the page callback, is __cdecl in both
 * widths (x64 has that one convention only), exported under its plain name.
 * Paths are ANSI strings in the process code page; the ...W variants take
 * UTF-16 paths, which may be longer than MAX_PATH.
 * ------------------------------------------------------------------------ */

/* Codes of the accurate path besides QM_OK and the file codes above. */
#define QM_E_INVALIDARG ((int32_t)0x80070057)      /* null pointer, unknown tag, size too small */
#define QM_E_UNKNOWN_PDL ((int32_t)0x80040200)     /* not a print job of a language this library knows */
#define QM_E_NOT_UNDERSTOOD ((int32_t)0x80040201)  /* the job does not parse as its language: no count */
#define QM_E_ENCRYPTED ((int32_t)0x80040202)       /* an encrypted job that needs a password */

/* Bits of QuirometerJob.unknown: fields the job does not let the count know. */
#define QM_FIELD_PAGES 0x01u
#define QM_FIELD_COPIES 0x02u
#define QM_FIELD_COLOR 0x04u
#define QM_FIELD_DUPLEX 0x08u
#define QM_FIELD_PAPER 0x10u

/* QuirometerJob.certainty */
#define QM_CERTAINTY_EXACT 0u      /* read from the job's structure */
#define QM_CERTAINTY_ESTIMATED 1u  /* inferred: a fallback rule, a repaired file, a cross-check that failed */

#define QM_TAG_SIZE 16

/* What the printer will do with one copy of the job. The caller sets `size`
 * to sizeof(QuirometerJob); later versions only append fields, and the
 * library writes no more than `size` bytes. */
typedef struct QuirometerJob {
    uint32_t size;
    uint32_t pages;        /* pages (sheet sides) ejected for one copy */
    uint32_t copies;       /* at least 1 */
    uint8_t color;         /* 1 when any page prints in colour */
    uint8_t duplex;        /* 1 when the job asks for two-sided printing */
    uint8_t certainty;     /* QM_CERTAINTY_* */
    uint8_t reserved0;
    uint32_t unknown;      /* QM_FIELD_* bits; 0 when every field is known */
    uint32_t reserved1;
    double paperWidth;     /* inches; 0.0 only when truly unknown */
    double paperLength;    /* inches */
    char pdl[QM_TAG_SIZE];      /* the tag that counted, as the exports spell it */
    char detected[QM_TAG_SIZE]; /* what detection found ("" when it was not run, "unknown" when nothing) */
    /* Appended in the second version (QM_JOB_SIZE_V2). */
    uint32_t colorPages;        /* pages of one copy that print in colour */
    uint32_t colorUnknownPages; /* pages of one copy whose colour the job leaves open */
} QuirometerJob;

/* Sizes of the versions of QuirometerJob a caller may pass in `size`. */
#define QM_JOB_SIZE_V1 72u /* up to `detected` */
#define QM_JOB_SIZE_V2 80u /* colorPages, colorUnknownPages */

/* QuirometerPage.color */
#define QM_PAGE_MONO 0u
#define QM_PAGE_COLOR 1u
#define QM_PAGE_COLOR_UNKNOWN 2u

/* QuirometerPage.side */
#define QM_SIDE_NONE 0u  /* one-sided, or the job does not say */
#define QM_SIDE_FRONT 1u
#define QM_SIDE_BACK 2u

/* One page of one copy, as QuirometerCountPages hands it to its callback. */
typedef struct QuirometerPage {
    uint32_t number;      /* 1 for the first page the printer prints */
    uint8_t color;        /* QM_PAGE_* */
    uint8_t side;         /* QM_SIDE_*: the side of the sheet, when the job is two-sided */
    uint8_t reserved[2];
    double paperWidth;    /* inches; 0.0 when the job does not say */
    double paperLength;   /* inches */
} QuirometerPage;

/* Called once per page, in order, on the calling thread, after the count and
 * before QuirometerCountPages returns. `page` is valid only during the call.
 * Return 0 to go on, anything else to receive no more pages. */
typedef int(QM_CDECL* QuirometerPageCallback)(const QuirometerPage* page, void* context);

/* Finds the job's language from a bounded look at its first and last bytes.
 * Writes the tag (as the exports spell it, NUL-terminated, cut to size-1)
 * and returns QM_OK, or QM_E_UNKNOWN_PDL for a job of no language it knows
 * (then "unknown" is written), or a file code. */
QM_EXPORT int32_t QM_CDECL QuirometerDetect(const char* path, char* tag, int size);

/* Counts the job accurately. `pdl` names the language (a tag or a common
 * alias, any case); NULL or "" detects it. `job->size` is QM_JOB_SIZE_V1 or
 * more; no byte past it is written. On QM_OK every field within it is
 * written; on failure only `pdl` and `detected` are. */
QM_EXPORT int32_t QM_CDECL QuirometerCount(const char* path, const char* pdl, QuirometerJob* job);

/* QuirometerCount, then each page of one copy handed to `onPage` (which may
 * be NULL), in the order the printer prints them. Memory does not grow with
 * the number of pages the caller receives: no array is built for it. */
QM_EXPORT int32_t QM_CDECL QuirometerCountPages(const char* path, const char* pdl, QuirometerJob* job,
                                                QuirometerPageCallback onPage, void* context);

/* A plain sentence for any code this library returns; static text. */
QM_EXPORT const char* QM_CDECL QuirometerErrorText(int32_t code);

/* The tag an alias names ("PS" -> "POSTSCRIPT", "pcl6" -> "PCLXL"), or NULL. */
QM_EXPORT const char* QM_CDECL QuirometerCanonicalTag(const char* alias);

#if defined(_WIN32)
/* The same calls with UTF-16 paths. A path of MAX_PATH characters or more is
 * opened through its "\\?\" form (made absolute first), so folders nested
 * beyond MAX_PATH can be counted; a path already in that form is taken as it
 * is. */
QM_EXPORT int32_t QM_CDECL QuirometerDetectW(const wchar_t* path, char* tag, int size);
QM_EXPORT int32_t QM_CDECL QuirometerCountW(const wchar_t* path, const char* pdl, QuirometerJob* job);
QM_EXPORT int32_t QM_CDECL QuirometerCountPagesW(const wchar_t* path, const char* pdl, QuirometerJob* job,
                                                 QuirometerPageCallback onPage, void* context);
#endif

#ifdef __cplusplus
} /* extern "C" */

/* Last error text of the PDF reader: at most size-1 characters and a NUL;
 * nothing is written when size <= 0. Exported under its C++ name. */
QM_EXPORT void QM_CDECL pdfreadLastError(char* buffer, int size);
#endif

#endif /* QUIROMETER_QUIROMETER_H */
