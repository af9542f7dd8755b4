// The parallel encoder on the writer's path: packages written through it are the
// same for any thread count, from sources the writer opens or is given open, and
// extract as the installer's reader extracts them; a failed read or write reaches
// the writer with its file, its side and the system's error.
#include <gtest/gtest.h>

#include <vector>

#include "package/EntryProgress.h"
#include "package/ScriptedFile.h"
#include "package/SelfExtractor.h"
#include "package/writer/ParallelEntryEncoder.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

// Begin and End as -1 and -2, each Advance as the bytes consumed.
class Recorder : public EntryProgress {
public:
    explicit Recorder(std::vector<int64_t>* events) : m_events(events) {}
    void Begin(const PackageEntry&, uint64_t) override { m_events->push_back(-1); }
    void Advance(uint64_t consumed) override { m_events->push_back(static_cast<int64_t>(consumed)); }
    void End(const PackageEntry&) override { m_events->push_back(-2); }

private:
    std::vector<int64_t>* m_events;
};

struct Written {
    PackageResult result;
    FileFailure failure;
    std::vector<uint8_t> package;
    std::vector<int64_t> events;
};

// source: the entry's file, given open; nullptr: the writer opens input itself.
// failWrite: the output's write that fails, 0 for none.
Written WriteThrough(const WideString& input, int32_t threads, CFile* source = nullptr,
                     uint64_t failWrite = 0) {
    SelfExtractor writer(WideString{});
    EXPECT_TRUE(writer.AddFile(input));
    ParallelEntryEncoder encoder(threads, 6);
    ScriptedFile output;
    output.failWrite = failWrite;
    Written written;
    Recorder recorder(&written.events);
    CFile* const sources[] = {source};
    written.result =
        writer.WritePackageInto(output, &recorder, &encoder, source != nullptr ? sources : nullptr);
    written.failure = writer.LastFailure();
    written.package = output.bytes;
    return written;
}

TEST(ParallelEntryEncoder, WritesTheSamePackageForAnyThreadCountAndTheReaderExtractsIt) {
    ScratchFolder scratch;
    const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> bytes = TextBytes(2 * 1024 * 1024 + 99, 11);
        const std::vector<uint8_t> noise = RandomBytes(700000, 12);
        bytes.insert(bytes.begin() + 1000000, noise.begin(), noise.end());
        return bytes;
    }();
    const WideString input = scratch / "Setup.msi";
    WriteBytes(input, data);
    std::vector<uint8_t> first;
    for (int32_t threads : {1, 2, 7}) {
        SCOPED_TRACE(threads);
        const Written written = WriteThrough(input, threads);
        ASSERT_EQ(written.result, SFX_OK);
        if (threads == 1) first = written.package;
        EXPECT_EQ(written.package, first);
        // Framed by the writer, one report per chunk in between, in bytes.
        const int64_t mib = ParallelDeflater::kChunkLength;
        const std::vector<int64_t> expected = {-1, mib, 2 * mib, static_cast<int64_t>(data.size()), -2};
        EXPECT_EQ(written.events, expected);
        ScriptedFile given(data);
        EXPECT_EQ(WriteThrough(input, threads, &given).package, first);
    }
    const WideString packagePath = scratch / "package.bin";
    WriteBytes(packagePath, first);
    SelfExtractor reader(packagePath);
    ASSERT_EQ(reader.ReadTableOfContents(packagePath), SFX_OK);
    ScriptedFile target;
    ASSERT_EQ(reader.ExtractEntryInto(0, target), SFX_OK);
    EXPECT_EQ(target.bytes, data);

    // A read or a write that fails while the workers run reaches the writer as its
    // failure: which file, which side, and the error the system gave.
    for (int32_t threads : {1, 2}) {
        SCOPED_TRACE(threads);
        const Written writing = WriteThrough(input, threads, nullptr, 2);
        EXPECT_EQ(writing.result, SFX_ERR_WRITE);
        EXPECT_EQ(writing.failure.side, FileFailure::kWrite);
        EXPECT_EQ(writing.failure.osError, 112);
        ScriptedFile source(data);
        source.failReadAt = ParallelDeflater::kChunkLength + 5;
        const Written reading = WriteThrough(input, threads, &source);
        EXPECT_EQ(reading.result, SFX_ERR_WRITE);
        EXPECT_EQ(reading.failure.side, FileFailure::kRead);
        EXPECT_TRUE(reading.failure.file == input);
        EXPECT_EQ(reading.failure.osError, 23);
    }
}

}  // namespace
