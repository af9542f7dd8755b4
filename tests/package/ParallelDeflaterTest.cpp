// The packer's encoder: one standard zlib stream, the same bytes for any thread
// count, with zlib and with zopfli, and clean ends on every failure while its
// workers run.
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

// Mostly zeros, then noise that comes again right behind the chunk's edge: the second
// copy costs next to nothing only when the second chunk reaches back into the first.
// Quick for zopfli too, which takes seconds for a megabyte of text.
constexpr size_t kNoise = 20000;
std::vector<uint8_t> RepeatAcrossAnEdge() {
    const std::vector<uint8_t> noise = RandomBytes(kNoise, 9);
    return Join({std::vector<uint8_t>(kMiB - kNoise, 0), noise, noise});
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
    // zopfli's shortest search: these tests check its stream, not its effort.
    ParallelDeflater deflater(threads, level, 1);
    const uint32_t length = static_cast<uint32_t>(static_cast<int64_t>(input.size()) + script.lengthOffset);
    outcome.result = deflater.Deflate(source, length, sink, script.room, &recorder);
    outcome.stream = sink.bytes;
    return outcome;
}

const int32_t kThreadCounts[] = {1, 2, 7};

// The stream of input at level on every thread count: the same bytes each time, a
// standard stream of the input, one progress report per chunk; answers it.
std::vector<uint8_t> SameStreamOnAnyThreads(const std::vector<uint8_t>& input, int32_t level) {
    SCOPED_TRACE(level);
    std::vector<uint8_t> first;
    for (int32_t threads : kThreadCounts) {
        SCOPED_TRACE(threads);
        const Outcome run = Deflate(input, threads, level);
        EXPECT_EQ(run.result.outcome, ParallelDeflater::kDeflated);
        EXPECT_EQ(run.result.written, run.stream.size());
        if (threads == kThreadCounts[0]) first = run.stream;
        EXPECT_EQ(run.stream, first) << "the bytes depend on the thread count";
        EXPECT_EQ(Inflate(run.stream), input);
        // One report per chunk, in order, the last for the whole input.
        const uint64_t chunk =
            level == ParallelDeflater::kZopfliLevel ? ParallelDeflater::kZopfliChunkLength : kMiB;
        const size_t chunks = input.empty() ? 1 : (input.size() + chunk - 1) / chunk;
        EXPECT_EQ(run.progress.size(), chunks);
        for (size_t i = 0; i < std::min(chunks, run.progress.size()); ++i) {
            EXPECT_EQ(run.progress[i], std::min<uint64_t>((i + 1) * chunk, input.size()));
        }
    }
    return first;
}

TEST(ParallelDeflater, SameStandardStreamForAnyThreadCount) {
    const struct {
        const char* name;
        std::vector<uint8_t> input;
        bool zopfli;    // also at level 11: zopfli takes seconds a megabyte, more under ASan
        size_t atMost;  // the longest stream right at either level
    } inputs[] = {
        {"empty", {}, true, SIZE_MAX},
        {"1 byte", {0x41}, true, SIZE_MAX},
        {"under 32 KiB", TextBytes(20000, 1), true, SIZE_MAX},
        {"exactly 1 MiB", TextBytes(kMiB, 2), false, SIZE_MAX},
        {"1 MiB + 1", RandomBytes(kMiB + 1, 3), false, SIZE_MAX},
        {"mixed, several MiB", MixedBytes(), false, SIZE_MAX},
        // Chunks are primed: the copy behind the edge is almost free, the zeros too.
        {"a repeat across a chunk's edge", RepeatAcrossAnEdge(), true, kNoise + kNoise / 2},
    };
    for (const auto& row : inputs) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> zlib = SameStreamOnAnyThreads(row.input, 6);
        EXPECT_LE(zlib.size(), row.atMost);
        // Up to one chunk, the stream is zlib's own: header, checksum and all.
        if (row.input.size() <= kMiB) {
            EXPECT_EQ(zlib, ZlibCompress(row.input, 6));
        }
        if (!row.zopfli) continue;
        const std::vector<uint8_t> zopfli = SameStreamOnAnyThreads(row.input, ParallelDeflater::kZopfliLevel);
        EXPECT_LE(zopfli.size(), row.atMost);
        // zlib's header for its smallest streams, as zopfli and pigz -11 write it.
        ASSERT_GE(zopfli.size(), 2u);
        EXPECT_EQ(zopfli[0], 0x78);
        EXPECT_EQ(zopfli[1], 0xDA);
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
        FileFailure::Side side;  // which file failed
        int32_t cause;
        int32_t osError;  // the system's error, carried from the failed call
    };
    Row rows[5] = {
        {"read fails in the third chunk", {}, ParallelDeflater::kFileFailed, FileFailure::kRead,
         CFileException::hardIO, 23},
        {"source shorter than announced", {}, ParallelDeflater::kLengthChanged, FileFailure::kNone, 0, -1},
        {"source longer than announced", {}, ParallelDeflater::kLengthChanged, FileFailure::kNone, 0, -1},
        {"disk full at the third write", {}, ParallelDeflater::kFileFailed, FileFailure::kWrite,
         CFileException::diskFull, 112},
        {"no room for the whole stream", {}, ParallelDeflater::kTooLong, FileFailure::kNone, 0, -1},
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
            EXPECT_EQ(run.result.failure.side, row.side);
            EXPECT_EQ(run.result.failure.cause, row.cause);
            EXPECT_EQ(run.result.failure.osError, row.osError);
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
