// The jobs a command works on: files as given, the files of folders (and of
// their subfolders with -r), and the paths of a --files-from list.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace qmcli {

// Fills `jobs` in order: the arguments first, then the list's paths; a
// folder gives its regular files sorted by name. Returns kExitOk,
// kExitFailed when a folder could not be read (the rest is still listed;
// the reason is on standard error), or kExitUsage when the list could not.
int CollectJobs(const Options& opt, std::vector<std::string>& jobs);

}  // namespace qmcli
