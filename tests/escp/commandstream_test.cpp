#include "escp/commandstream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "testutil.h"

using qm::CommandStream;
using qmtest::TempJob;

namespace {

// Bytes whose value tells their position: byte i is (i * 7 + i / 256) & 0xFF.
std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return s;
}

enum class Source { File, Memory };

// Opens `bytes` as a file or in memory; the file (if any) lives in `job`.
void OpenOn(CommandStream& s, Source src, const std::string& bytes, std::unique_ptr<TempJob>& job) {
    if (src == Source::File) {
        job = std::make_unique<TempJob>(bytes);
        ASSERT_TRUE(s.Open(job->path()));
    } else {
        ASSERT_TRUE(s.Attach(qm::Bytes(bytes)));
    }
}

struct Step {
    enum Kind { Read, Skip, SeekStart, SeekCurrent, SeekEnd } kind;
    int32_t amount;
};

struct Case {
    const char* name;
    size_t length;
    std::vector<Step> steps;
    uint32_t tell;      // after the steps
    bool atEnd;
    int nextByte;       // what ReadByte gives next, -1 for nothing
    uint32_t size;
};

TEST(CommandStream, PositionsAndEndOfData) {
    const Case cases[] = {
        {"read all of ten bytes", 10, {{Step::Read, 10}}, 10, true, -1, 10},
        {"read part", 10, {{Step::Read, 4}}, 4, false, 4, 10},
        {"read past the end gives what there is", 10, {{Step::Read, 20}}, 10, true, -1, 10},
        {"skip 65535 moves by 65535", 70000, {{Step::Skip, 65535}}, 65535, false, 65535, 70000},
        {"skip within the buffer", 100, {{Step::Read, 1}, {Step::Skip, 50}}, 51, false, 51, 100},
        {"skip to exactly the end", 100, {{Step::Skip, 100}}, 100, true, -1, 100},
        {"skip past the end ends the data", 100, {{Step::Skip, 200}}, 200, true, -1, 100},
        {"reads across buffer refills", 200000, {{Step::Read, 65535}, {Step::Read, 65535}, {Step::Read, 3}},
         131073, false, 131073, 200000},
        {"skips across refills", 200000, {{Step::Read, 65530}, {Step::Skip, 65535}, {Step::Skip, 65535}},
         196600, false, 196600, 200000},
        {"empty data: at end, size 1, read gives nothing", 0, {{Step::Read, 5}}, 0, true, -1, 1},
        {"seek from the start", 100, {{Step::Read, 30}, {Step::SeekStart, 7}}, 7, false, 7, 100},
        {"seek from the current position", 100, {{Step::Read, 30}, {Step::SeekCurrent, -10}}, 20, false, 20, 100},
        {"seek from the end", 100, {{Step::SeekEnd, -1}}, 99, false, 99, 100},
    };
    for (Source src : {Source::File, Source::Memory}) {
        for (const Case& c : cases) {
            const std::string label = std::string(c.name) + (src == Source::File ? " (file)" : " (memory)");
            const std::string data = Pattern(c.length);
            std::unique_ptr<TempJob> job;
            CommandStream s;
            OpenOn(s, src, data, job);
            std::vector<uint8_t> buf(65535);
            size_t expectPos = 0;
            for (const Step& st : c.steps) {
                switch (st.kind) {
                    case Step::Read: {
                        const uint16_t got = s.Read(buf.data(), static_cast<uint16_t>(st.amount));
                        const size_t want = std::min<size_t>(st.amount, expectPos < c.length ? c.length - expectPos : 0);
                        ASSERT_EQ(got, want) << label;
                        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), got), data.substr(expectPos, got)) << label;
                        expectPos += got;
                        break;
                    }
                    case Step::Skip: s.Skip(static_cast<uint16_t>(st.amount)); expectPos += st.amount; break;
                    case Step::SeekStart: ASSERT_TRUE(s.Seek(st.amount, CommandStream::Origin::Start)) << label;
                        expectPos = st.amount; break;
                    case Step::SeekCurrent: ASSERT_TRUE(s.Seek(st.amount, CommandStream::Origin::Current)) << label;
                        expectPos += st.amount; break;
                    case Step::SeekEnd: ASSERT_TRUE(s.Seek(st.amount, CommandStream::Origin::End)) << label;
                        expectPos = c.length + st.amount; break;
                }
            }
            // A seek to before the start fails and leaves the position.
            EXPECT_FALSE(s.Seek(-1 - static_cast<int32_t>(c.tell), CommandStream::Origin::Current)) << label;
            EXPECT_EQ(s.Tell(), c.tell) << label;
            EXPECT_EQ(s.AtEnd(), c.atEnd) << label;
            EXPECT_EQ(s.Size(), c.size) << label;
            uint8_t b = 0xEE;
            const bool got = s.ReadByte(b);
            EXPECT_EQ(got, c.nextByte >= 0) << label;
            EXPECT_EQ(b, got ? static_cast<uint8_t>(data[c.nextByte]) : 0xEE) << label;
            EXPECT_TRUE(s.Close()) << label;
            EXPECT_FALSE(s.IsOpen()) << label;
            EXPECT_EQ(s.Tell(), 0u) << label;
        }
    }
}

TEST(CommandStream, NothingAttached) {
    for (const char* path : {static_cast<const char*>(nullptr), ""}) {
        CommandStream s;
        EXPECT_EQ(s.Tell(), 0u);
        EXPECT_FALSE(s.IsOpen());
        EXPECT_TRUE(s.Open(path));  // succeeds without a file
        EXPECT_FALSE(s.IsOpen());
        EXPECT_TRUE(s.AtEnd());
        uint8_t b = 0;
        EXPECT_FALSE(s.ReadByte(b));
        EXPECT_EQ(s.Read(&b, 1), 0);
        s.Skip(10);
        EXPECT_EQ(s.Tell(), 0u);
        EXPECT_TRUE(s.AtEnd());
        EXPECT_FALSE(s.Seek(0, CommandStream::Origin::Start));  // nothing to seek in
    }
}

TEST(CommandStream, MissingFileOrFolderFailsToOpen) {
    TempJob job("x");
    for (const std::string& path : {std::string("/nonexistent-dir/none.prn"), job.dir()}) {
        CommandStream s;
        EXPECT_FALSE(s.Open(path.c_str())) << path;
        EXPECT_FALSE(s.IsOpen()) << path;
        EXPECT_NE(s.OpenError(), 0) << path;
        EXPECT_EQ(s.OpenError() == ENOENT, path != job.dir()) << path;
        EXPECT_TRUE(s.AtEnd()) << path;
    }
}

TEST(CommandStream, SizeIsMeasuredOnceUntilReopened) {
    TempJob job(Pattern(10));
    CommandStream s;
    ASSERT_TRUE(s.Open(job.path()));
    EXPECT_EQ(s.Size(), 10u);
    {
        FILE* f = std::fopen(job.path(), "ab");
        ASSERT_NE(f, nullptr);
        std::fputs("more bytes", f);
        std::fclose(f);
    }
    EXPECT_EQ(s.Size(), 10u);
    s.Skip(10);
    EXPECT_TRUE(s.AtEnd());
    ASSERT_TRUE(s.Open(job.path()));  // a new Open measures again
    EXPECT_EQ(s.Size(), 20u);
}

}  // namespace
