// quirometer: count pages of print jobs from the command line.
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "options.h"
#include "quirometer/quirometer.h"
#include "system.h"
#ifdef QM_HAVE_ACCOUNTING
#include "cli.h"
#endif

namespace {

#if defined(_WIN32)
constexpr const char* kNullDevice = "NUL";
constexpr int kNullFlags = O_WRONLY | O_NOINHERIT;
#else
constexpr const char* kNullDevice = "/dev/null";
constexpr int kNullFlags = O_WRONLY | O_CLOEXEC;

void DebugSink(const char* line, void*) { std::fputs(line, stderr); }
#endif

// Library writes to standard output (interpreter traces) go to standard error
// with --debug and nowhere otherwise; the tool keeps the real standard output
// and returns the stream that writes to it.
FILE* SeparateStandardOutput(bool debug) {
    std::fflush(stdout);
    const int keep = ::dup(1);
    if (keep < 0) return stdout;
    const int target = debug ? ::dup(2) : ::open(kNullDevice, kNullFlags);
    if (target < 0) {
        ::close(keep);
        return stdout;
    }
    ::dup2(target, 1);
    ::close(target);
#if defined(_WIN32)
    ::_setmode(keep, _O_BINARY);  // "\n" as on Linux: the same bytes on both systems
#endif
    FILE* out = ::fdopen(keep, "wb");
    return out != nullptr ? out : stderr;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qmcli;
#if defined(_WIN32)
    // The wide command line, so that any file name arrives (as UTF-8).
    const std::vector<std::string> args = sys::Arguments();
    std::vector<char*> wide;
    for (const std::string& a : args) wide.push_back(const_cast<char*>(a.c_str()));
    wide.push_back(nullptr);
    if (!args.empty()) {
        argc = static_cast<int>(args.size());
        argv = wide.data();
    }
    ::_setmode(::_fileno(stdout), _O_BINARY);
#endif
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
#if defined(_WIN32)
    if (opt.debug) sys::DiagnosticsToStandardError();
#else
    if (opt.debug) QuirometerSetDebugOutput(&DebugSink, nullptr);
#endif
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
