// The commands. Each writes its results to `out` (the tool's own standard
// output) and its complaints to standard error, and returns the exit status.
#pragma once

#include <cstdio>

#include "options.h"

namespace qmcli {

int RunCount(const Options& opt, FILE* out);
int RunDetect(const Options& opt, FILE* out);
int RunList(FILE* out);
int RunSamples(const Options& opt, FILE* out);

}  // namespace qmcli
