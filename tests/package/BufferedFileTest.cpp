// The packer's large-block reading and writing: the same bytes and positions as the
// file beneath, far fewer calls to it, and the installer's inflate path through both.
#include <gtest/gtest.h>

#include <vector>

#include "file/CatchFileError.h"
#include "package/ScriptedFile.h"
#include "package/SelfExtractor.h"
#include "package/reader/BufferedSink.h"
#include "package/reader/BufferedSource.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

constexpr uint32_t kBlock = 64 << 10;
// Pieces around the block's size, and inflate's.
const uint32_t kPieces[] = {4096, 1, kBlock - 1, kBlock, 3 * kBlock + 7, 0, 4096, 100000};

TEST(BufferedSource, ReadsAndSeeksAsTheFileInBlocks) {
    const std::vector<uint8_t> data = RandomBytes(2 * 1024 * 1024 + 3, 1);
    ScriptedFile file(data);
    BufferedSource source(file, kBlock);
    std::vector<uint8_t> read;
    uint64_t large = 0;
    for (size_t i = 0; read.size() < data.size(); ++i) {
        const uint32_t piece = kPieces[i % (sizeof kPieces / sizeof kPieces[0])];
        large += piece >= kBlock;
        std::vector<uint8_t> buffer(piece);
        buffer.resize(source.Read(buffer.data(), piece));
        read.insert(read.end(), buffer.begin(), buffer.end());
        ASSERT_EQ(source.GetPosition(), read.size());
    }
    EXPECT_EQ(read, data);
    uint8_t byte;
    EXPECT_EQ(source.Read(&byte, 1), 0u);
    EXPECT_LE(file.reads, data.size() / kBlock + large + 2);

    // Each seek lands where the file's would, inside the block or outside it.
    const struct {
        int32_t distance;
        uint32_t origin;
        uint32_t expected;
    } seeks[] = {
        {100, CFile::begin, 100},
        {5000, CFile::current, 5100 + 4096},
        {-3000, CFile::current, 6196 + 4096},
        {-10, CFile::end, static_cast<uint32_t>(data.size() - 10)},
        {kBlock * 5, CFile::begin, kBlock * 5},
        {-static_cast<int32_t>(2 * kBlock), CFile::current, kBlock * 3 + 4096},
    };
    for (const auto& seek : seeks) {
        SCOPED_TRACE(seek.expected);
        ASSERT_EQ(source.Seek(seek.distance, seek.origin), seek.expected);
        EXPECT_EQ(source.GetPosition(), seek.expected);
        std::vector<uint8_t> buffer(4096);
        buffer.resize(source.Read(buffer.data(), 4096));
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), data.begin() + seek.expected));
    }
    // Refused as the file refuses it, the position kept; writing is refused.
    const uint32_t before = source.GetPosition();
    EXPECT_EQ(CatchFileError([&] { source.Seek(-static_cast<int32_t>(before) - 1, CFile::current); }),
              CFileException::badSeek);
    EXPECT_EQ(source.GetPosition(), before);
    EXPECT_EQ(CatchFileError([&] { source.Write(data.data(), 1); }), CFileException::accessDenied);
    EXPECT_EQ(file.writes, 0u);
}

TEST(BufferedSink, WritesAsTheFileInBlocks) {
    const std::vector<uint8_t> data = TextBytes(2 * 1024 * 1024 + 3, 2);
    ScriptedFile file;
    BufferedSink sink(file, kBlock);
    size_t done = 0;
    uint64_t large = 0;
    for (size_t i = 0; done < data.size(); ++i) {
        const uint32_t piece =
            std::min<uint32_t>(kPieces[i % (sizeof kPieces / sizeof kPieces[0])], data.size() - done);
        large += piece >= kBlock;
        sink.Write(data.data() + done, piece);
        done += piece;
        ASSERT_EQ(sink.GetPosition(), done);
    }
    EXPECT_LE(file.writes, data.size() / kBlock + large + 1);
    // What is held reaches the file before any other call needs it.
    EXPECT_EQ(sink.GetLength(), data.size());
    EXPECT_EQ(file.bytes, data);
    sink.Write("held", 4);
    EXPECT_EQ(sink.Seek(10, CFile::begin), 10u);
    sink.Write("over", 4);
    uint8_t back[4];
    EXPECT_EQ(sink.Read(back, 4), 4u);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 4),
              std::vector<uint8_t>(data.begin() + 14, data.begin() + 18));
    sink.Write("tail", 4);
    sink.Close();
    EXPECT_EQ(file.closes, 1);
    std::vector<uint8_t> expected = data;
    expected.insert(expected.end(), {'h', 'e', 'l', 'd'});
    std::copy_n("over", 4, expected.begin() + 10);
    std::copy_n("tail", 4, expected.begin() + 18);
    EXPECT_EQ(file.bytes, expected);
}

TEST(BufferedSink, FailedWriteReachesTheCallerAndNothingIsWrittenAfterwards) {
    const std::vector<uint8_t> data = TextBytes(3 * kBlock, 3);
    for (bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "the failure comes with Close" : "the failure comes with Write");
        ScriptedFile file;
        file.failWrite = closing ? 1 : 2;
        {
            BufferedSink sink(file, kBlock);
            int32_t cause = CFileException::none;
            for (size_t done = 0; done < data.size() && cause == CFileException::none; done += 4096) {
                cause = CatchFileError([&] { sink.Write(data.data() + done, 4096); });
                if (closing && done == 4096) break;
            }
            if (closing) {
                EXPECT_EQ(cause, CFileException::none);
                cause = CatchFileError([&] { sink.Close(); });
            }
            EXPECT_EQ(cause, CFileException::diskFull);
            const uint64_t writes = file.writes;
            // Held again after the failure: the sink goes without writing it.
            sink.Write(data.data(), 100);
            sink.Abort();
            EXPECT_EQ(file.aborts, 1);
            sink.Write(data.data(), 100);
            EXPECT_EQ(file.writes, writes);
        }
        EXPECT_EQ(file.closes, 0);
    }
}

// The installer's inflate path, its two 4096-byte buffers untouched, reads and writes
// through the blocks: a few calls reach the files instead of one per 4096 bytes.
class Inflater : public SelfExtractor {
public:
    using SelfExtractor::InflateEntry;
    using SelfExtractor::SelfExtractor;
};

TEST(BufferedSourceAndSink, CarryTheInflatePath) {
    ScratchFolder scratch;
    const std::vector<uint8_t> data = TextBytes(3 * 1024 * 1024 + 11, 4);
    const WideString input = scratch / "Setup.msi";
    const WideString packagePath = scratch / "package.bin";
    WriteBytes(input, data);
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(input));
    ASSERT_EQ(writer.WritePackage(packagePath, nullptr, 0), SFX_OK);

    Inflater reader(packagePath);
    ASSERT_EQ(reader.ReadTableOfContents(packagePath), SFX_OK);
    ScriptedFile package(ReadBytes(packagePath));
    ScriptedFile target;
    BufferedSource source(package);
    BufferedSink sink(target);
    ASSERT_EQ(reader.InflateEntry(source, reader.EntryAt(0), &sink), SFX_OK);
    sink.Close();
    EXPECT_EQ(target.bytes, data);
    EXPECT_LE(package.reads, package.bytes.size() / BufferedSource::kDefaultCapacity + 2);
    EXPECT_LE(target.writes, data.size() / BufferedSink::kDefaultCapacity + 1);
}

}  // namespace
