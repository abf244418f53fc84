// Running the backend a quirometer: URI wraps, as CUPS would have run it.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

namespace qmbackend {

struct Spool;

// Set by SIGTERM (CUPS cancels a job so); the wrapped backend gets the signal too.
extern volatile std::sig_atomic_t g_cancelled;
void InstallCancelHandler();

struct WrappedRun {
    std::string program;            // $CUPS_SERVERBIN/backend/<scheme>
    std::vector<std::string> argv;  // argv[0] is the wrapped URI
    std::string deviceUri;          // DEVICE_URI for it
    int input = -1;                 // its standard input: a file, -1 ours, kFeed a pipe from Feed()
};
constexpr int kFeed = -2;

struct WrappedResult {
    int status = 1;    // its exit status (a CUPS_BACKEND_* code)
    bool ran = false;  // false: it could not be started (see error)
    std::string error;
};

// The wrapped backend while it runs. Its standard error (CUPS's status
// lines) is relayed to ours, except its PAGE: lines, which are held back:
// the true count replaces them, and they are passed on only when there is
// none (ReleasePageLines).
class Wrapped {
public:
    Wrapped() = default;
    Wrapped(const Wrapped&) = delete;
    Wrapped& operator=(const Wrapped&) = delete;
    ~Wrapped();

    // Starts it and returns once it runs the program (or could not: false, result().error).
    bool Start(const WrappedRun& run);
    // Copies our standard input to it and into `spool` at once, until the
    // input ends (input kFeed). What it does not take is still spooled.
    void Feed(Spool& spool);
    // Relays its status lines until it ends; its result.
    const WrappedResult& Finish();
    void ReleasePageLines();
    const WrappedResult& result() const { return result_; }

private:
    void Relay(bool untilEnd);
    void RelayLine(std::string_view line);

    pid_t pid_ = -1;
    int err_ = -1;   // its standard error, read end
    int feed_ = -1;  // its standard input, write end (kFeed)
    std::string partial_;
    std::vector<std::string> pageLines_;
    WrappedResult result_;
};

}  // namespace qmbackend
