// quirometer accounting jobs|report|replay: the commands over the store.
#pragma once

#include <cstdio>

namespace qmacct {

extern const char* const kAccountingUsage;

// argv[0] is "accounting"; returns the exit status (0 done, 1 failed, 2 usage).
int RunAccounting(int argc, char** argv, FILE* out);

}  // namespace qmacct
