// Running the backend a quirometer: URI wraps, as CUPS would have run it.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace qmbackend {

// Set by SIGTERM (CUPS cancels a job so); the wrapped backend gets the signal too.
extern volatile std::sig_atomic_t g_cancelled;
void InstallCancelHandler();

struct WrappedRun {
    std::string program;            // $CUPS_SERVERBIN/backend/<scheme>
    std::vector<std::string> argv;  // argv[0] is the wrapped URI
    std::string deviceUri;          // DEVICE_URI for it
    int input = -1;                 // its standard input; -1 keeps ours
    bool dropPageLines = false;     // its own PAGE: lines become DEBUG: lines
};

struct WrappedResult {
    int status = 1;        // its exit status (a CUPS_BACKEND_* code)
    bool ran = false;      // false: it could not be started (see error)
    bool signalled = false;
    std::string error;
};

// Runs it and relays its standard error (CUPS's status lines) to ours.
WrappedResult RunWrapped(const WrappedRun& run);

}  // namespace qmbackend
