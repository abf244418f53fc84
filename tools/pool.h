// The worker pool: many files counted side by side, in worker processes on
// POSIX and in threads on Windows.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qmcli {

// One task's work: takes the task's index and returns its result as bytes.
using Task = std::function<std::string(size_t index)>;

// The number of cores, at least 1.
unsigned DefaultWorkers();

// Runs task(i) for every i < count and returns the results in index order.
// With more than one worker the tasks run in forked worker processes (threads
// on Windows); a task whose worker could not start, died or threw is run
// again here.
std::vector<std::string> RunTasks(size_t count, unsigned workers, const Task& task);

}  // namespace qmcli
