// The parallel encoder on the writer's path: packages written through it are the
// same for any thread count and extract as the installer's reader extracts them.
#include <gtest/gtest.h>

#include <vector>

#include "package/ScriptedFile.h"
#include "package/SelfExtractor.h"
#include "package/writer/ParallelEntryEncoder.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

struct Written {
    PackageResult result;
    std::vector<uint8_t> package;
    std::vector<int32_t> events;  // BEGIN and END as -1 and -2, PROGRESS as the percentage
};

Written WriteThrough(const WideString& input, int32_t threads, uint64_t failWrite = 0) {
    SelfExtractor writer(WideString{});
    EXPECT_TRUE(writer.AddFile(input));
    ParallelEntryEncoder encoder(threads, 6);
    ScriptedFile output;
    output.failWrite = failWrite;
    Written written;
    written.result = writer.WritePackageInto(
        output,
        [](PackageEvent event, void* data, uintptr_t userData) {
            reinterpret_cast<std::vector<int32_t>*>(userData)->push_back(event == SFX_EVENT_PROGRESS
                                                                             ? *static_cast<int32_t*>(data)
                                                                         : event == SFX_EVENT_BEGIN ? -1
                                                                                                    : -2);
        },
        reinterpret_cast<uintptr_t>(&written.events), &encoder);
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
        // Framed by the writer, one report per chunk in between, ending at 100.
        const uint64_t mib = ParallelDeflater::kChunkLength;
        const std::vector<int32_t> expected = {-1, static_cast<int32_t>(mib * 100 / data.size()),
                                               static_cast<int32_t>(2 * mib * 100 / data.size()), 100, -2};
        EXPECT_EQ(written.events, expected);
    }
    const WideString packagePath = scratch / "package.bin";
    WriteBytes(packagePath, first);
    SelfExtractor reader(packagePath);
    ASSERT_EQ(reader.ReadTableOfContents(packagePath), SFX_OK);
    ScriptedFile target;
    ASSERT_EQ(reader.ExtractEntryInto(0, target), SFX_OK);
    EXPECT_EQ(target.bytes, data);

    // A write that fails while the workers run reaches the writer as its failure.
    for (int32_t threads : {1, 2}) {
        EXPECT_EQ(WriteThrough(input, threads, 2).result, SFX_ERR_WRITE);
    }
}

}  // namespace
