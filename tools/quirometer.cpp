// quirometer: count pages of print jobs from the command line.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "commands.h"
#include "options.h"
#include "quirometer/quirometer.h"
#ifdef QM_HAVE_ACCOUNTING
#include "cli.h"
#endif

namespace {

void DebugSink(const char* line, void*) { std::fputs(line, stderr); }

// Library writes to standard output (interpreter traces) go to standard error
// with --debug and nowhere otherwise; the tool keeps the real standard output
// and returns the stream that writes to it.
FILE* SeparateStandardOutput(bool debug) {
    std::fflush(stdout);
    const int keep = ::dup(1);
    if (keep < 0) return stdout;
    const int target = debug ? ::dup(2) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (target < 0) {
        ::close(keep);
        return stdout;
    }
    ::dup2(target, 1);
    ::close(target);
    FILE* out = ::fdopen(keep, "w");
    return out != nullptr ? out : stderr;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qmcli;
#ifdef QM_HAVE_ACCOUNTING
    if (argc >= 2 && std::strcmp(argv[1], "accounting") == 0) return qmacct::RunAccounting(argc - 1, argv + 1, stdout);
#endif
    Options opt;
    if (const int status = ParseOptions(argc, argv, opt); status != kExitOk) return status;
    if (opt.command == Command::Help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (opt.command == Command::Version) {
        std::printf("quirometer %s\n", GetQuirometerVersion());
        return kExitOk;
    }

    FILE* out = SeparateStandardOutput(opt.debug);
    if (opt.debug) QuirometerSetDebugOutput(&DebugSink, nullptr);
    int status = kExitOk;
    switch (opt.command) {
        case Command::Count: status = RunCount(opt, out); break;
        case Command::Detect: status = RunDetect(opt, out); break;
        case Command::List: status = RunList(out); break;
        default: status = RunSamples(opt, out); break;
    }
    if (std::fflush(out) != 0 && status == kExitOk) status = kExitFailed;  // the results did not get out
    std::fflush(stdout);
    return status;
}
