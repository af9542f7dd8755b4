// The packer's encoder: one standard zlib stream, the same bytes for any thread
// count, and clean ends on every failure while its workers run.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "package/EntryProgress.h"
#include "package/ScriptedFile.h"
#include "package/writer/ParallelDeflater.h"
#include "support/CallSite.h"
#include "support/TestFiles.h"

#ifdef __linux__
#include <fstream>
#endif

namespace {

constexpr uint32_t kMiB = ParallelDeflater::kChunkLength;

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Text, noise, text again and a run of zeros: compressible and incompressible
// chunks, and chunk boundaries inside each kind.
std::vector<uint8_t> MixedBytes() {
    return Join({TextBytes(kMiB + 300000, 3), RandomBytes(kMiB / 2 + 17, 4), TextBytes(kMiB, 5),
                 std::vector<uint8_t>(700000, 0)});
}

// zlib's own one-shot stream of the input.
std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& input, int level) {
    uLongf length = compressBound(static_cast<uLong>(input.size()));
    std::vector<uint8_t> stream(length);
    EXPECT_EQ(compress2(stream.data(), &length, input.data(), static_cast<uLong>(input.size()), level), Z_OK);
    stream.resize(length);
    return stream;
}

// Plain inflate of one whole stream: anything but a complete stream, its checksum
// right and nothing after it, fails.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, CallSite at = {}) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) FailAt(at, "inflateInit");
    std::vector<uint8_t> out;
    std::vector<uint8_t> piece(1 << 16);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = piece.data();
        z.avail_out = static_cast<uInt>(piece.size());
        r = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), piece.data(), z.next_out);
    }
    const uInt left = z.avail_in;
    inflateEnd(&z);
    if (r != Z_STREAM_END) FailAt(at, "inflate ended with " + std::to_string(r));
    if (left != 0) FailAt(at, std::to_string(left) + " bytes after the stream");
    return out;
}

// The threads of this process, where the system tells (Linux); -1 elsewhere.
int ThreadCount() {
#ifdef __linux__
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    }
#endif
    return -1;
}

struct Outcome {
    ParallelDeflater::Result result;
    std::vector<uint8_t> stream;  // what reached the sink
    std::vector<uint64_t> progress;
};

// What a test may do to a run besides its input: the source and sink it gets,
// the length announced and the room.
struct Script {
    int64_t lengthOffset = 0;  // announced length minus the source's
    uint64_t failReadAt = UINT64_MAX;
    uint64_t failWrite = 0;
    uint64_t room = UINT64_MAX;
};

Outcome Deflate(const std::vector<uint8_t>& input, int32_t threads, int32_t level = 6,
                const Script& script = {}) {
    ScriptedFile source(input);
    source.failReadAt = script.failReadAt;
    ScriptedFile sink;
    sink.failWrite = script.failWrite;
    struct Recorder : EntryProgress {
        std::vector<uint64_t>* consumed;
        void Begin(const PackageEntry&, uint64_t) override {}
        void Advance(uint64_t bytes) override { consumed->push_back(bytes); }
        void End(const PackageEntry&) override {}
    };
    Outcome outcome;
    Recorder recorder;
    recorder.consumed = &outcome.progress;
    ParallelDeflater deflater(threads, level);
    const uint32_t length = static_cast<uint32_t>(static_cast<int64_t>(input.size()) + script.lengthOffset);
    outcome.result = deflater.Deflate(source, length, sink, script.room, &recorder);
    outcome.stream = sink.bytes;
    return outcome;
}

const int32_t kThreadCounts[] = {1, 2, 7};

TEST(ParallelDeflater, SameStandardStreamForAnyThreadCount) {
    const struct {
        const char* name;
        std::vector<uint8_t> input;
    } inputs[] = {
        {"empty", {}},
        {"1 byte", {0x41}},
        {"under 32 KiB", TextBytes(20000, 1)},
        {"exactly 1 MiB", TextBytes(kMiB, 2)},
        {"1 MiB + 1", RandomBytes(kMiB + 1, 3)},
        {"mixed, several MiB", MixedBytes()},
    };
    for (const auto& row : inputs) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> first;
        for (int32_t threads : kThreadCounts) {
            SCOPED_TRACE(threads);
            const Outcome run = Deflate(row.input, threads);
            ASSERT_EQ(run.result.outcome, ParallelDeflater::kDeflated);
            EXPECT_EQ(run.result.written, run.stream.size());
            if (threads == kThreadCounts[0]) first = run.stream;
            EXPECT_EQ(run.stream, first) << "the bytes depend on the thread count";
            EXPECT_EQ(Inflate(run.stream), row.input);
            // One report per chunk, in order, the last for the whole input.
            const size_t chunks = row.input.empty() ? 1 : (row.input.size() + kMiB - 1) / kMiB;
            ASSERT_EQ(run.progress.size(), chunks);
            for (size_t i = 0; i < chunks; ++i) {
                EXPECT_EQ(run.progress[i], std::min<uint64_t>((i + 1) * uint64_t{kMiB}, row.input.size()));
            }
        }
        // Up to one chunk, the stream is zlib's own: header, checksum and all.
        if (row.input.size() <= kMiB) {
            EXPECT_EQ(first, ZlibCompress(row.input, 6));
        }
    }
}

TEST(ParallelDeflater, EveryLevelWritesZlibsHeaderAndAValidStream) {
    const std::vector<uint8_t> small = TextBytes(50000, 6);
    const std::vector<uint8_t> mixed = MixedBytes();
    for (int32_t level : {1, 6, 9}) {
        SCOPED_TRACE(level);
        EXPECT_EQ(Deflate(small, 2, level).stream, ZlibCompress(small, level));
        const Outcome run = Deflate(mixed, 2, level);
        ASSERT_EQ(run.result.outcome, ParallelDeflater::kDeflated);
        ASSERT_GE(run.stream.size(), 2u);
        const std::vector<uint8_t> header = ZlibCompress(small, level);
        EXPECT_EQ(run.stream[0], header[0]);
        EXPECT_EQ(run.stream[1], header[1]);
        EXPECT_EQ(Inflate(run.stream), mixed);
    }
}

TEST(ParallelDeflater, StreamIsWithinATenthOfAPercentOfOneStream) {
    const std::vector<uint8_t> input = TextBytes(8 * kMiB + 12345, 7);
    const size_t ours = Deflate(input, 2).stream.size();
    const size_t one = ZlibCompress(input, 6).size();
    EXPECT_LE(static_cast<double>(ours), static_cast<double>(one) * 1.001) << ours << " against " << one;
}

// Every failure ends the run with its own outcome, the sink holding a prefix of
// the stream a clean run writes, and no thread left behind.
TEST(ParallelDeflater, FailuresWhileWorkersRunEndCleanly) {
    const std::vector<uint8_t> input = Join({MixedBytes(), TextBytes(kMiB, 8)});
    const std::vector<uint8_t> whole = Deflate(input, 1).stream;
    struct Row {
        const char* name;
        Script script;
        ParallelDeflater::Outcome outcome;
        int32_t cause;
        int32_t osError;  // the system's error, carried from the failed call
    };
    Row rows[5] = {
        {"read fails in the third chunk", {}, ParallelDeflater::kReadFailed, CFileException::hardIO, 23},
        {"source shorter than announced", {}, ParallelDeflater::kLengthChanged, 0, -1},
        {"source longer than announced", {}, ParallelDeflater::kLengthChanged, 0, -1},
        {"disk full at the third write", {}, ParallelDeflater::kWriteFailed, CFileException::diskFull, 112},
        {"no room for the whole stream", {}, ParallelDeflater::kTooLong, 0, -1},
    };
    rows[0].script.failReadAt = 2 * kMiB + 5;
    rows[1].script.lengthOffset = 1;
    rows[2].script.lengthOffset = -1;
    rows[3].script.failWrite = 3;
    rows[4].script.room = whole.size() - 1;
    const int threadsBefore = ThreadCount();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int32_t threads : kThreadCounts) {
            SCOPED_TRACE(threads);
            const Outcome run = Deflate(input, threads, 6, row.script);
            EXPECT_EQ(run.result.outcome, row.outcome);
            EXPECT_EQ(run.result.cause, row.cause);
            EXPECT_EQ(run.result.osError, row.osError);
            EXPECT_EQ(run.result.written, run.stream.size());
            EXPECT_LE(run.stream.size(), row.script.room);
            EXPECT_LT(run.stream.size(), whole.size());
            EXPECT_TRUE(std::equal(run.stream.begin(), run.stream.end(), whole.begin()));
            EXPECT_TRUE(run.progress.empty() || run.progress.back() < input.size());
            EXPECT_EQ(ThreadCount(), threadsBefore);
        }
    }
}

}  // namespace
