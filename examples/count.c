/* count: count one print job with the counter of its language.
 *
 *   cc count.c $(pkg-config --cflags --libs quirometer) -o count
 *   ./count PCL job.prn
 */
#include <quirometer/quirometer.h>
#include <stdio.h>
#include <string.h>

#define ENTRY(tag) {#tag, GetTotalPageCount_##tag}

static const struct {
    const char* tag;
    QmCountFunction count;
} counters[] = {
    ENTRY(ZIMF), ENTRY(Lexmark), ENTRY(HBP), ENTRY(TCPL), ENTRY(PPA), ENTRY(OKI), ENTRY(ZJSTREAM),
    ENTRY(TALLYSTREAM), ENTRY(OAKT), ENTRY(PANASONIC), ENTRY(ESC_PAGE), ENTRY(PCL), ENTRY(PCLXL),
    ENTRY(POSTSCRIPT), ENTRY(RPCS), ENTRY(IPDL), ENTRY(PDF), ENTRY(HPGL), ENTRY(CANON), ENTRY(ESCP2),
    ENTRY(CanonUFR), ENTRY(HIPERC), ENTRY(QPDL), ENTRY(LIDIL), ENTRY(CanonCAPT), ENTRY(BrotherNCM),
    ENTRY(PrintronixGL), ENTRY(FijiPhoto), ENTRY(UnixTextPCL),
};

int main(int argc, char** argv) {
    size_t i;
    if (argc != 3) {
        fprintf(stderr, "usage: %s TAG FILE\n", argv[0]);
        return 2;
    }
    for (i = 0; i < sizeof counters / sizeof counters[0]; ++i) {
        PageCountResult r;
        int32_t code;
        if (strcmp(counters[i].tag, argv[1]) != 0) continue;
        code = counters[i].count(argv[2], &r);
        if (code != QM_OK) {
            fprintf(stderr, "%s: failed 0x%08X\n", argv[2], (unsigned)code);
            return 1;
        }
        printf("%s: pages=%u copies=%u color=%u duplex=%u paper=%.2fx%.2f (library %s)\n", argv[2],
               (unsigned)r.pages, (unsigned)r.copies, (unsigned)r.color, (unsigned)r.duplex, r.paperWidth,
               r.paperLength, GetQuirometerVersion());
        return 0;
    }
    fprintf(stderr, "unknown tag %s\n", argv[1]);
    return 2;
}
