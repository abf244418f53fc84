// How much colour the count leaves open over every job of the corpus: the
// pages of unknown colour must stay at most 2% of all pages counted. The
// jobs that have any are listed, so a change that opens more shows where.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "quirometer/quirometer.h"

namespace {

const std::string kCorpusDir = std::string(QM_SOURCE_DIR) + "/tests/corpus";

// Every job file under the corpus's job folders (tables and notes are not jobs).
std::vector<std::string> CorpusJobs() {
    std::vector<std::string> jobs;
    for (const char* dir : {"jobs", "colour/jobs", "census"}) {
        const std::filesystem::path root = kCorpusDir + "/" + dir;
        if (!std::filesystem::is_directory(root)) continue;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            const std::string ext = e.path().extension().string();
            if (e.is_regular_file() && ext != ".tsv" && ext != ".md" && ext != ".txt") jobs.push_back(e.path());
        }
    }
    std::sort(jobs.begin(), jobs.end());
    return jobs;
}

}  // namespace

TEST(CorpusColour, PagesOfUnknownColourAreAtMostTwoPercent) {
    uint64_t pages = 0, unknown = 0, colour = 0;
    std::string open;
    const std::vector<std::string> jobs = CorpusJobs();
    ASSERT_GT(jobs.size(), 400u);
    for (const std::string& path : jobs) {
        QuirometerJob job{};
        job.size = sizeof job;
        if (QuirometerCount(path.c_str(), nullptr, &job) != QM_OK) continue;  // unknown or refused: no pages
        pages += job.pages;
        colour += job.colorPages;
        unknown += job.colorUnknownPages;
        if (job.colorUnknownPages > 0) {
            open += "  " + path.substr(kCorpusDir.size() + 1) + ": " + std::to_string(job.colorUnknownPages) + " of " +
                    std::to_string(job.pages) + "\n";
        }
    }
    std::printf("[ colour ] %zu jobs, %llu pages: %llu colour, %llu unknown (%.2f%%)\n", jobs.size(),
                static_cast<unsigned long long>(pages), static_cast<unsigned long long>(colour),
                static_cast<unsigned long long>(unknown), pages ? 100.0 * unknown / pages : 0.0);
    EXPECT_LE(unknown * 50, pages) << "pages of unknown colour, by job:\n" << open;
}
