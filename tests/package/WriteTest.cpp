// Writing, and packages written by us read back by us.
#include <gtest/gtest.h>

#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "file/CFile.h"
#include "package/EventRecorder.h"
#include "package/PackageImage.h"
#include "package/SelfExtractor.h"
#include "package/reader/EntryName.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

// Results and events share numbers; only their types keep one from standing in for the other.
static_assert(!std::is_convertible<PackageEvent, PackageResult>::value &&
                  !std::is_convertible<PackageResult, PackageEvent>::value,
              "results and events must be distinct types");

class Write : public ::testing::Test {
protected:
    ScratchFolder scratch;
    WideString out = scratch / "package.bin";

    WideString Source(const std::string& name, const std::vector<uint8_t>& data) {
        const WideString path = scratch / name.c_str();
        WriteBytes(path, data);
        return path;
    }
    // Reads what was written and checks it against the writer's table.
    void ExpectReadBack(const SelfExtractor& writer, const WideString& path, CallSite at = {}) {
        SFX_TRACE_CALLER(at);
        SelfExtractor reader(path);
        ASSERT_EQ(reader.ReadTableOfContents(path), SFX_OK);
        ASSERT_EQ(reader.m_entryCount, writer.m_entryCount);
        for (int32_t i = 0; i < writer.m_entryCount; ++i) {
            SCOPED_TRACE(i);
            const PackageEntry& w = writer.m_entries[i];
            const PackageEntry r = reader.GetEntry(i);
            EXPECT_TRUE(r.name == w.name);
            EXPECT_EQ(r.size, w.size);
            EXPECT_EQ(r.compressedSize, w.compressedSize);
            EXPECT_EQ(r.offset, w.offset);
        }
    }
};

TEST_F(Write, OneEntryRoundTripWithoutStub) {
    const std::vector<uint8_t> data = TextBytes(200000, 1);
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("Setup.msi", data)));
    EXPECT_TRUE(writer.m_entries[0].name == u"Setup.msi");
    EXPECT_EQ(writer.m_entries[0].size, data.size());
    ASSERT_EQ(writer.WritePackage(out, nullptr, 0), SFX_OK);
    EXPECT_EQ(writer.m_entries[0].offset, 0u);

    // Stream, one record, trailer: nothing else.
    const std::vector<uint8_t> bytes = ReadBytes(out);
    const PackageEntry& e = writer.m_entries[0];
    EXPECT_EQ(bytes.size(), e.compressedSize + 16 + 2 * 9 + 18);
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[1], 0x9C);
    ExpectReadBack(writer, out);

    SelfExtractor reader(out);
    MakeFolder(scratch / "x");
    EXPECT_EQ(reader.ExtractEntry(0, scratch / "x", true), SFX_OK);
    EXPECT_EQ(ReadBytes(JoinPath(scratch / "x", u"Setup.msi")), data);
}

TEST_F(Write, ThreeEntriesBehindAStubStartAtTheStubsLength) {
    const std::vector<uint8_t> stub = RandomBytes(70001, 9);
    const WideString stubPath = Source("stub.exe", stub);
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("a.txt", TextBytes(30000, 1))));
    ASSERT_TRUE(writer.AddFile(Source("b.bin", RandomBytes(30000, 2))));
    ASSERT_TRUE(writer.AddFile(Source("c.txt", {})));
    ASSERT_EQ(writer.CreatePackage(stubPath, out, nullptr, 0), SFX_OK);
    EXPECT_EQ(writer.m_entries[0].offset, stub.size());
    for (int i = 0; i + 1 < 3; ++i) {
        EXPECT_EQ(writer.m_entries[i + 1].offset,
                  writer.m_entries[i].offset + writer.m_entries[i].compressedSize);
    }
    const std::vector<uint8_t> bytes = ReadBytes(out);
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), bytes.begin()));
    EXPECT_EQ(ReadBytes(stubPath), stub);
    ExpectReadBack(writer, out);

    MakeFolder(scratch / "x");
    SelfExtractor reader(out);
    EXPECT_EQ(reader.ExtractAll(scratch / "x", nullptr, 0), SFX_OK);
    EXPECT_EQ(ReadBytes(JoinPath(scratch / "x", u"a.txt")), TextBytes(30000, 1));
    EXPECT_EQ(ReadBytes(JoinPath(scratch / "x", u"b.bin")), RandomBytes(30000, 2));
    EXPECT_EQ(FileSize(JoinPath(scratch / "x", u"c.txt")), 0u);
}

TEST_F(Write, TwoHundredFiftySixEntriesAndNoMore) {
    SelfExtractor writer(WideString{});
    MakeFolder(scratch / "in");
    for (int i = 0; i < 256; ++i) {
        char name[32];
        snprintf(name, sizeof name, "f%03d.txt", i);
        const WideString path = JoinPath(scratch / "in", Wide(name));
        WriteBytes(path, TextBytes(50 + i, static_cast<uint32_t>(i)));
        ASSERT_TRUE(writer.AddFile(path)) << i;
    }
    const WideString extra = Source("extra.txt", {1});
    EXPECT_FALSE(writer.AddFile(extra));
    EXPECT_EQ(writer.m_entryCount, 256);
    ASSERT_EQ(writer.WritePackage(out, nullptr, 0), SFX_OK);
    ExpectReadBack(writer, out);
    MakeFolder(scratch / "x");
    SelfExtractor reader(out);
    ASSERT_EQ(reader.ExtractAll(scratch / "x", nullptr, 0), SFX_OK);
    EXPECT_EQ(ListFolder(scratch / "x").size(), 256u);
    EXPECT_EQ(ReadBytes(JoinPath(scratch / "x", u"f255.txt")), TextBytes(50 + 255, 255));

    writer.ClearEntries();
    EXPECT_EQ(writer.m_entryCount, 0);
    EXPECT_TRUE(writer.m_entries[255].name.IsEmpty());
    EXPECT_TRUE(writer.m_entries[0].sourcePath.IsEmpty());
    EXPECT_TRUE(writer.AddFile(extra));
}

TEST_F(Write, SmallPackageIsWrittenButCannotBeFoundAgain) {
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("tiny.txt", TextBytes(40, 1))));
    ASSERT_EQ(writer.WritePackage(out, nullptr, 0), SFX_OK);
    const uint64_t size = FileSize(out);
    EXPECT_EQ(size, writer.m_entries[0].compressedSize + 16 + 2 * 8 + 18);
    ASSERT_LT(size, 512u);
    SelfExtractor reader(out);
    EXPECT_EQ(reader.ReadTableOfContents(out), SFX_ERR_BAD_PACKAGE);
}

TEST_F(Write, AddFileRefusesWhatTheReaderCannotTake) {
    SelfExtractor writer(WideString{});
    EXPECT_FALSE(writer.AddFile(scratch / "missing.txt"));
    EXPECT_FALSE(writer.AddFile(scratch.Path()));  // a folder
#ifndef _WIN32
    for (const char* name : {"trailing.", "drive:x", "back\\slash"})
        EXPECT_FALSE(writer.AddFile(Source(name, {1})));
#endif
    EXPECT_FALSE(IsValidEntryName(std::u16string(256, u'n').c_str(), 256));
    EXPECT_TRUE(IsValidEntryName(std::u16string(255, u'n').c_str(), 255));
    // 2 GiB: no position in the package could express what follows it.
    const WideString huge = scratch / "huge.bin";
    MakeSparseFile(huge, 0x80000000ull);
    EXPECT_FALSE(writer.AddFile(huge));
    EXPECT_EQ(writer.m_entryCount, 0);
    EXPECT_TRUE(writer.m_entries[0].name.IsEmpty());
    EXPECT_EQ(writer.m_entries[0].size, 0u);
    RemoveTree(huge);
}

// A read-only stub gives a package the writer can finish and its user replace.
TEST_F(Write, AReadOnlyStubGivesAWritablePackage) {
    const WideString stub = Source("stub.exe", RandomBytes(1000, 1));
    MakeReadOnly(stub);
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("a.txt", TextBytes(5000, 1))));
    ASSERT_EQ(writer.CreatePackage(stub, out, nullptr, 0), SFX_OK);
    ExpectReadBack(writer, out);
#ifdef _WIN32
    EXPECT_FALSE(GetFileAttributesW(out.w_str()) & FILE_ATTRIBUTE_READONLY);
#else
    struct stat info;
    ASSERT_EQ(stat(Narrow(out).c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IWUSR) << std::oct << info.st_mode;
#endif
}

TEST_F(Write, FailuresLeaveNoOutput) {
    const WideString stub = Source("stub.exe", RandomBytes(1000, 1));
    SelfExtractor writer(WideString{});
    EXPECT_EQ(writer.WritePackage(out, nullptr, 0), SFX_ERR_NO_ENTRIES);
    EXPECT_EQ(writer.CreatePackage(stub, out, nullptr, 0), SFX_ERR_NO_ENTRIES);
    EXPECT_FALSE(PathExists(out));
    ASSERT_TRUE(writer.AddFile(Source("a.txt", TextBytes(5000, 1))));

    EXPECT_EQ(writer.CreatePackage(scratch / "no-stub.exe", out, nullptr, 0), SFX_ERR_COPY_STUB);
    EXPECT_FALSE(PathExists(out));
    EXPECT_EQ(writer.WritePackage(JoinPath(scratch / "no-folder", u"p.bin"), nullptr, 0), SFX_ERR_WRITE);
    EXPECT_EQ(writer.CreatePackage(stub, JoinPath(scratch / "no-folder", u"p.exe"), nullptr, 0),
              SFX_ERR_COPY_STUB);

    // The stub as its own output: a copy would destroy it.
    EXPECT_NE(writer.CreatePackage(stub, stub, nullptr, 0), SFX_OK);
    EXPECT_EQ(ReadBytes(stub), RandomBytes(1000, 1));

    // A source that went away after it was added.
    const WideString gone = Source("gone.txt", TextBytes(100, 2));
    ASSERT_TRUE(writer.AddFile(gone));
    RemoveTree(gone);
    EXPECT_EQ(writer.WritePackage(out, nullptr, 0), SFX_ERR_OPEN_SOURCE);
    EXPECT_FALSE(PathExists(out));
    EXPECT_EQ(writer.CreatePackage(stub, out, nullptr, 0), SFX_ERR_OPEN_SOURCE);
    EXPECT_FALSE(PathExists(out));

    // A source whose length changed since it was added would give a size the
    // reader refuses.
    WriteBytes(gone, TextBytes(101, 2));
    EXPECT_EQ(writer.WritePackage(out, nullptr, 0), SFX_ERR_OPEN_SOURCE);
    EXPECT_FALSE(PathExists(out));
    WriteBytes(gone, TextBytes(100, 3));
    EXPECT_EQ(writer.WritePackage(out, nullptr, 0), SFX_OK);
    ExpectReadBack(writer, out);
}

TEST_F(Write, ExistingOutputIsReplacedOrTruncated) {
    const WideString stub = Source("stub.exe", RandomBytes(600, 1));
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("a.txt", TextBytes(5000, 1))));
    WriteBytes(out, RandomBytes(300000, 2));
    ASSERT_EQ(writer.WritePackage(out, nullptr, 0), SFX_OK);
    EXPECT_EQ(FileSize(out), writer.m_entries[0].compressedSize + 16 + 10 + 18);
    WriteBytes(out, RandomBytes(300000, 2));
    ASSERT_EQ(writer.CreatePackage(stub, out, nullptr, 0), SFX_OK);
    EXPECT_EQ(FileSize(out), 600 + writer.m_entries[0].compressedSize + 16 + 10 + 18);
    ExpectReadBack(writer, out);
}

TEST_F(Write, EventsPerEntryWithNonDecreasingProgress) {
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("a.bin", RandomBytes(100000, 1))));
    ASSERT_TRUE(writer.AddFile(Source("b.txt", TextBytes(300000, 2))));
    ASSERT_TRUE(writer.AddFile(Source("c.txt", {})));
    EventRecorder recorder;
    ASSERT_EQ(writer.WritePackage(out, &EventRecorder::Callback, recorder.UserData()), SFX_OK);
    const std::vector<EventRecorder::Event>& events = recorder.events;
    // The writer takes its callback as an argument and leaves the members alone.
    EXPECT_EQ(writer.m_callback, nullptr);
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_LT(at, events.size());
        EXPECT_EQ(events[at].event, SFX_EVENT_BEGIN);
        EXPECT_EQ(events[at].data, &writer.m_entries[i].name);
        ++at;
        int32_t last = 0;
        size_t progress = 0;
        for (; at < events.size() && events[at].event == SFX_EVENT_PROGRESS; ++at, ++progress) {
            EXPECT_GE(events[at].percent, last);
            EXPECT_LE(events[at].percent, 100);
            last = events[at].percent;
        }
        if (i < 2) {
            EXPECT_GT(progress, 10u);
        }
        ASSERT_LT(at, events.size());
        EXPECT_EQ(events[at].event, SFX_EVENT_END);
        EXPECT_EQ(events[at].data, &writer.m_entries[i].name);
        ++at;
    }
    EXPECT_EQ(at, events.size());
}

// WriteEntries on an output that already stands near 2 GiB (a sparse file).
class LimitProbe : public SelfExtractor {
public:
    LimitProbe() : SelfExtractor(WideString()) {}
    using SelfExtractor::WriteEntries;
};

TEST_F(Write, PackagesStayBelowTwoGibibytes) {
    LimitProbe writer;
    ASSERT_TRUE(writer.AddFile(Source("a.bin", RandomBytes(20000, 1))));
    for (int32_t start : {0x7FFFF000, 0x7FFFFFF0}) {
        CFile output;
        ASSERT_TRUE(output.Open(out.c_str(), CFile::create | CFile::shareAllowAll | CFile::accessWrite));
        output.Seek(start, CFile::begin);
        EXPECT_EQ(writer.WriteEntries(output, nullptr, 0), SFX_ERR_WRITE) << start;
        // The limit, not the disk, refused it: told as such, with the output's name.
        EXPECT_EQ(writer.LastFailure().limit, FileFailure::kTooLong) << start;
        EXPECT_FALSE(writer.LastFailure().Failed());
        EXPECT_TRUE(writer.LastFailure().file == out);
        output.Close();
        EXPECT_LE(FileSize(out), 0x7FFFFFFFull);
    }
    // Room for the stream but not for the table: refused before the table is written.
    CFile output;
    ASSERT_TRUE(output.Open(out.c_str(), CFile::create | CFile::shareAllowAll | CFile::accessWrite));
    ASSERT_EQ(writer.WritePackage(out, nullptr, 0), SFX_OK);
    const uint32_t room = writer.m_entries[0].compressedSize + 20;
    output.Seek(static_cast<int32_t>(0x7FFFFFFFu - room), CFile::begin);
    EXPECT_EQ(writer.WriteEntries(output, nullptr, 0), SFX_ERR_WRITE);
    EXPECT_EQ(writer.LastFailure().limit, FileFailure::kTooLong);
    // A stub that would carry the output past the limit is refused before a byte is copied.
    output.Seek(1, CFile::begin);
    CFile stub;
    ASSERT_TRUE(stub.Open(Source("stub.exe", RandomBytes(100, 2)).c_str(), CFile::accessRead));
    EXPECT_EQ(writer.AppendStub(stub, 0x7FFFFFFFu, output), SFX_ERR_WRITE);
    EXPECT_EQ(writer.LastFailure().limit, FileFailure::kTooLong);
    stub.Abort();
    output.Close();
    EXPECT_LE(FileSize(out), 0x7FFFFFFFull);
    RemoveTree(out);
}

TEST_F(Write, HandSetNamesTheReaderRefusesAreNotWritten) {
    SelfExtractor writer(WideString{});
    ASSERT_TRUE(writer.AddFile(Source("a.txt", TextBytes(1000, 1))));
    writer.m_entries[0].name = WideString(std::u16string(256, u'n').c_str());
    EXPECT_EQ(writer.WritePackage(out, nullptr, 0), SFX_ERR_WRITE);
    EXPECT_FALSE(PathExists(out));
    writer.m_entries[0].name = u"..";
    EXPECT_EQ(writer.WritePackage(out, nullptr, 0), SFX_ERR_WRITE);
    EXPECT_FALSE(PathExists(out));
}

}  // namespace
