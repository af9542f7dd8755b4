// Extraction: results, events, and that nothing damaged, oversized or misplaced
// is ever left behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "file/CFile.h"
#include "package/EventRecorder.h"
#include "package/PackageImage.h"
#include "package/SelfExtractor.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

using Event = EventRecorder::Event;
using Recorder = EventRecorder;

class Extract : public ::testing::Test {
protected:
    ScratchFolder scratch;
    WideString package = scratch / "package.bin";
    WideString dest = scratch / "out";

    void SetUp() override { MakeFolder(dest); }

    // Writes the image and reads its table into a fresh extractor.
    void Load(PackageImage& image, SelfExtractor& extractor, int32_t expected = SFX_OK, CallSite at = {}) {
        SFX_TRACE_CALLER(at);
        WriteBytes(package, image.Bytes());
        extractor.SetPackagePath(package);
        ASSERT_EQ(extractor.ReadTableOfContents(package), expected);
    }
    WideString Out(const char* name) const { return JoinPath(dest, Wide(name)); }
    // Nothing but the package and the destination folder next to each other.
    void ExpectNothingOutsideDest(CallSite at = {}) const {
        SFX_TRACE_CALLER(at);
        EXPECT_EQ(ListFolder(scratch.Path()), (std::vector<std::string>{"out", "package.bin"}));
    }
};

PackageImage Simple(const std::vector<std::pair<const char*, std::vector<uint8_t>>>& entries, size_t prefix = 600) {
    PackageImage image;
    image.Append(RandomBytes(prefix, 99));
    for (const auto& entry : entries) image.AddEntry(U16(entry.first), entry.second);
    image.AppendTableAndTrailer();
    return image;
}

TEST_F(Extract, EntryIsWrittenExactly) {
    const std::vector<uint8_t> data = TextBytes(300000, 1);
    PackageImage image = Simple({{"Setup.msi", data}});
    // The alignment bytes and certificate table of a signed installer follow.
    image.AppendZeros(7);
    image.Append(RandomBytes(4144, 5));
    SelfExtractor extractor(package);
    Load(image, extractor);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_OK);
    EXPECT_EQ(ReadBytes(Out("Setup.msi")), data);
    EXPECT_EQ(extractor.VerifyEntry(0), SFX_OK);
}

TEST_F(Extract, DestinationFolderGetsOneSeparatorUnlessItEndsInOne) {
    PackageImage image = Simple({{"a.txt", TextBytes(100, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    const WideString separator(&kPathSeparator, 1);
    EXPECT_EQ(extractor.ExtractEntry(0, dest + separator, false), SFX_OK);
    EXPECT_EQ(ReadBytes(Out("a.txt")), TextBytes(100, 2));
    RemoveTree(Out("a.txt"));
    // Two separators, as the worker passes them, are kept and still name the folder.
    EXPECT_EQ(extractor.ExtractEntry(0, dest + separator + separator, false), SFX_OK);
    EXPECT_TRUE(PathExists(Out("a.txt")));
}

TEST_F(Extract, ReadTableFirstPassesOnItsFailures) {
    WriteBytes(package, RandomBytes(5000, 3));
    SelfExtractor extractor(package);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, true), SFX_ERR_BAD_PACKAGE);
    SelfExtractor missing(scratch / "missing.exe");
    EXPECT_EQ(missing.ExtractEntry(0, dest, true), SFX_ERR_OPEN_PACKAGE);
    EXPECT_EQ(missing.ExtractAll(dest, nullptr, 0), SFX_ERR_OPEN_PACKAGE);
    EXPECT_TRUE(ListFolder(dest).empty());

    PackageImage image = Simple({{"a.txt", TextBytes(100, 2)}});
    WriteBytes(package, image.Bytes());
    SelfExtractor fresh(package);
    // No table read yet: there is no entry 0.
    EXPECT_EQ(fresh.ExtractEntry(0, dest, false), SFX_ERR_NO_ENTRIES);
    EXPECT_EQ(fresh.ExtractEntry(0, dest, true), SFX_OK);
    EXPECT_EQ(fresh.ExtractEntry(1, dest, false), SFX_ERR_NO_ENTRIES);
    EXPECT_EQ(fresh.ExtractEntry(-1, dest, false), SFX_ERR_NO_ENTRIES);
}

TEST_F(Extract, PackageThatCannotBeOpenedForExtraction) {
    PackageImage image = Simple({{"a.txt", TextBytes(100, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    RemoveTree(package);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_OPEN_SOURCE);
    EXPECT_EQ(extractor.m_entryCount, 1);
    EXPECT_TRUE(ListFolder(dest).empty());
}

TEST_F(Extract, ExtractAllGoesLastToFirstAndFramesEachSuccess) {
    PackageImage image = Simple({{"zero.txt", TextBytes(20000, 10)},
                                 {"one.txt", TextBytes(20000, 11)},
                                 {"two.txt", TextBytes(20000, 12)}});
    WriteBytes(package, image.Bytes());
    SelfExtractor extractor(package);
    Recorder recorder;
    ASSERT_EQ(extractor.ExtractAll(dest, &Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder)), SFX_OK);
    std::vector<std::u16string> frames;
    int32_t open = 0;
    for (const Event& e : recorder.events) {
        if (e.event == SFX_EVENT_BEGIN) {
            EXPECT_EQ(open++, 0);
            frames.push_back(e.name);
        } else if (e.event == SFX_EVENT_END) {
            EXPECT_EQ(--open, 0);
            EXPECT_EQ(e.name, frames.back());
        } else {
            EXPECT_EQ(open, 1) << "progress outside an entry";
        }
    }
    EXPECT_EQ(frames, (std::vector<std::u16string>{u"two.txt", u"one.txt", u"zero.txt"}));
    EXPECT_EQ(ReadBytes(Out("one.txt")), TextBytes(20000, 11));
    EXPECT_EQ(extractor.m_callback, &Recorder::Callback);
    EXPECT_EQ(extractor.m_callbackData, reinterpret_cast<uintptr_t>(&recorder));
}

TEST_F(Extract, AFailedEntryGetsBeginButNoEndAndTheOthersAreWritten) {
    PackageImage image = Simple({{"zero.txt", TextBytes(5000, 10)},
                                 {"one.txt", TextBytes(5000, 11)},
                                 {"two.txt", TextBytes(5000, 12)}});
    WriteBytes(package, image.Bytes());
    MakeFolder(Out("one.txt"));  // the middle entry's file cannot be created
    SelfExtractor extractor(package);
    Recorder recorder;
    EXPECT_EQ(extractor.ExtractAll(dest, &Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder)),
              SFX_ERR_WRITE);
    std::vector<std::pair<int32_t, std::u16string>> frames;
    for (const Event& e : recorder.events)
        if (e.event != SFX_EVENT_PROGRESS) frames.push_back({e.event, e.name});
    const std::vector<std::pair<int32_t, std::u16string>> expected = {
        {SFX_EVENT_BEGIN, u"two.txt"},  {SFX_EVENT_END, u"two.txt"},    {SFX_EVENT_BEGIN, u"one.txt"},
        {SFX_EVENT_BEGIN, u"zero.txt"}, {SFX_EVENT_END, u"zero.txt"}};
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(ReadBytes(Out("zero.txt")), TextBytes(5000, 10));
    EXPECT_EQ(ReadBytes(Out("two.txt")), TextBytes(5000, 12));
}

TEST_F(Extract, CallbackStaysForLaterExtractions) {
    PackageImage image = Simple({{"big.bin", RandomBytes(100000, 4)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    // A fresh object has no callback to report to.
    EXPECT_EQ(extractor.m_callback, nullptr);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_OK);

    Recorder recorder;
    ASSERT_EQ(extractor.ExtractAll(dest, &Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder)), SFX_OK);
    const size_t afterAll = recorder.events.size();
    ASSERT_GT(afterAll, 3u);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_OK);
    ASSERT_GT(recorder.events.size(), afterAll);
    for (size_t i = afterAll; i < recorder.events.size(); ++i) {
        EXPECT_EQ(recorder.events[i].event, SFX_EVENT_PROGRESS);
    }
}

TEST_F(Extract, ProgressNeverDecreasesAndStaysWithinZeroToHundred) {
    // Random data: the stream is as long as the data, so many 4096-byte reads.
    PackageImage image = Simple({{"big.bin", RandomBytes(200000, 6)}, {"text.txt", TextBytes(400000, 7)}});
    WriteBytes(package, image.Bytes());
    SelfExtractor extractor(package);
    Recorder recorder;
    ASSERT_EQ(extractor.ExtractAll(dest, &Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder)), SFX_OK);
    int32_t last = -1;
    size_t seen = 0;
    for (const Event& e : recorder.events) {
        if (e.event == SFX_EVENT_BEGIN) last = -1;
        if (e.event != SFX_EVENT_PROGRESS) continue;
        ++seen;
        EXPECT_GE(e.percent, last);
        EXPECT_GE(e.percent, 0);
        EXPECT_LE(e.percent, 100);
        last = e.percent;
    }
    EXPECT_GT(seen, 40u);
}

TEST_F(Extract, CompressedSizeZeroReportsHundred) {
    PackageImage image;
    image.AppendZeros(600);
    image.AddEntry(U16("big.bin"), RandomBytes(50000, 8)).compressedSize = 0;
    // A recorded compressed size far below the stream's length reports 100 too.
    image.AddEntry(U16("short.bin"), RandomBytes(50000, 9)).compressedSize = 100;
    image.AppendTableAndTrailer();
    WriteBytes(package, image.Bytes());
    SelfExtractor extractor(package);
    Recorder recorder;
    ASSERT_EQ(extractor.ExtractAll(dest, &Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder)), SFX_OK);
    const std::vector<int32_t> percentages = recorder.Percentages();
    ASSERT_GT(percentages.size(), 10u);
    for (int32_t p : percentages) EXPECT_EQ(p, 100);
}

TEST_F(Extract, EmptyEntryGivesAnEmptyFile) {
    PackageImage image = Simple({{"empty.txt", {}}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_OK);
    ASSERT_TRUE(PathExists(Out("empty.txt")));
    EXPECT_EQ(FileSize(Out("empty.txt")), 0u);
}

TEST_F(Extract, ExistingDestinationIsTruncated) {
    PackageImage image = Simple({{"a.txt", TextBytes(1000, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    WriteBytes(Out("a.txt"), RandomBytes(50000, 1));
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_OK);
    EXPECT_EQ(ReadBytes(Out("a.txt")), TextBytes(1000, 2));
}

TEST_F(Extract, ReadOnlyDestinationFailsWithWriteError) {
    PackageImage image = Simple({{"a.txt", TextBytes(1000, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    WriteBytes(Out("a.txt"), {1, 2, 3});
    if (!MakeReadOnly(Out("a.txt"))) GTEST_SKIP() << "no read-only protection binds this user here";
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_WRITE);
    EXPECT_EQ(ReadBytes(Out("a.txt")), (std::vector<uint8_t>{1, 2, 3}));
}

#ifdef _WIN32
TEST_F(Extract, LockedDestinationFailsWithWriteError) {
    PackageImage image = Simple({{"a.txt", TextBytes(1000, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    WriteBytes(Out("a.txt"), {1, 2, 3});
    // Held open by another opener that shares nothing.
    HANDLE lock = CreateFileW(Out("a.txt").w_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_WRITE);
    CloseHandle(lock);
    EXPECT_EQ(ReadBytes(Out("a.txt")), (std::vector<uint8_t>{1, 2, 3}));
}

// What an extraction hands over held: the installer may read it, no other writer may
// open it (a second extraction into it fails and leaves it whole), nor may anyone
// remove it; once closed it can be removed.
TEST_F(Extract, HeldFileRefusesWritersUntilClosed) {
    const std::vector<uint8_t> data = TextBytes(1000, 2);
    PackageImage image = Simple({{"a.txt", data}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    CFile held;
    ASSERT_EQ(extractor.ExtractEntry(0, dest, false, &held), SFX_OK);
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    struct Opener {
        const char* what;
        DWORD access;
        DWORD share;
        bool opens;
    };
    for (const Opener& o : {Opener{"a reader", GENERIC_READ, FILE_SHARE_READ, true},
                            Opener{"a reader sharing all", GENERIC_READ, shareAll, true},
                            Opener{"a writer sharing all", GENERIC_WRITE, shareAll, false},
                            Opener{"a remover sharing all", DELETE, shareAll, false}}) {
        HANDLE other =
            CreateFileW(Out("a.txt").w_str(), o.access, o.share, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(other != INVALID_HANDLE_VALUE, o.opens) << o.what;
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    }
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_WRITE);
    EXPECT_FALSE(DeleteFileW(Out("a.txt").w_str()));
    EXPECT_EQ(ReadBytes(Out("a.txt")), data);
    held.Close();
    EXPECT_TRUE(DeleteFileW(Out("a.txt").w_str()));
    ExpectNothingOutsideDest();
}
#endif

TEST_F(Extract, MissingDestinationFolderFailsWithWriteError) {
    PackageImage image = Simple({{"a.txt", TextBytes(1000, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    EXPECT_EQ(extractor.ExtractEntry(0, scratch / "no-such-folder", false), SFX_ERR_WRITE);
    ExpectNothingOutsideDest();
}

// Damage of every kind fails with SFX_ERR_DAMAGED and leaves no file, also where a
// file of that name existed before.
TEST_F(Extract, DamagedStreamsFailAndLeaveNoFile) {
    const std::vector<uint8_t> data = RandomBytes(60000, 21);
    struct Case {
        const char* what;
        void (*spoil)(PackageImage&);
    };
    const Case cases[] = {
        {"flipped bytes half way",
         [](PackageImage& i) {
             auto& r = i.Records()[0];
             for (uint32_t k = 0; k < 64; ++k) i.Bytes()[r.offset + r.compressedSize / 2 + k] ^= 0xA5;
         }},
        {"wrong Adler-32",
         [](PackageImage& i) {
             auto& r = i.Records()[0];
             i.Bytes()[r.offset + r.compressedSize - 1] ^= 0x01;
         }},
        {"size one more", [](PackageImage& i) { i.Records()[0].size += 1; }},
        {"size one less", [](PackageImage& i) { i.Records()[0].size -= 1; }},
        {"size zero", [](PackageImage& i) { i.Records()[0].size = 0; }},
        {"offset beyond the end", [](PackageImage& i) { i.Records()[0].offset = 0x10000000; }},
        {"offset beyond 2 GiB", [](PackageImage& i) { i.Records()[0].offset = 0x90000000u; }},
        {"offset into the table", [](PackageImage& i) { i.Records()[0].offset += i.Records()[0].compressedSize; }},
        {"not a zlib stream", [](PackageImage& i) { i.Records()[0].offset -= 100; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageImage image;
        image.Append(RandomBytes(600, 1));
        image.AddEntry(U16("Setup.msi"), data);
        c.spoil(image);
        image.AppendTableAndTrailer();
        SelfExtractor extractor(package);
        Load(image, extractor);
        // A file of that name is truncated and then removed, unless the entry is
        // refused before its file is opened.
        WriteBytes(Out("Setup.msi"), {9, 9, 9});
        const bool refusedEarly = image.Records()[0].offset > 0x7FFFFFFFu;
        EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_DAMAGED);
        if (refusedEarly) {
            EXPECT_EQ(ReadBytes(Out("Setup.msi")), (std::vector<uint8_t>{9, 9, 9}));
            RemoveTree(Out("Setup.msi"));
        } else {
            EXPECT_FALSE(PathExists(Out("Setup.msi")));
        }
        EXPECT_EQ(extractor.VerifyEntry(0), SFX_ERR_DAMAGED);
        ExpectNothingOutsideDest();
    }
}

TEST_F(Extract, StreamCutShortByTheEndOfTheFile) {
    // The stream's first half lies behind the trailer, where the file ends.
    const std::vector<uint8_t> data = RandomBytes(60000, 22);
    const std::vector<uint8_t> stream = ZlibCompress(data);
    PackageImage image;
    image.AppendZeros(600);
    PackageImage::Record r;
    r.name = U16("Setup.msi");
    r.nameLength = 9;
    r.size = static_cast<uint32_t>(data.size());
    r.compressedSize = static_cast<uint32_t>(stream.size());
    r.offset = 600 + 16 + 2 * 9 + 18;
    image.Records().push_back(r);
    image.AppendTableAndTrailer();
    ASSERT_EQ(image.Size(), r.offset);
    image.Append(std::vector<uint8_t>(stream.begin(), stream.begin() + stream.size() / 2));
    SelfExtractor extractor(package);
    Load(image, extractor);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_DAMAGED);
    EXPECT_FALSE(PathExists(Out("Setup.msi")));
}

TEST_F(Extract, OutputNeverGrowsPastTheRecordedSize) {
    // 20 MB of zeros recorded as 10,000 bytes: a bomb that must stop at once.
    PackageImage image;
    image.AppendZeros(600);
    image.AddEntry(U16("bomb.bin"), std::vector<uint8_t>(20 << 20, 0)).size = 10000;
    image.AppendTableAndTrailer();
    SelfExtractor extractor(package);
    Load(image, extractor);
    Recorder recorder;
    recorder.watched = Out("bomb.bin");
    recorder.limit = 10000;
    extractor.m_callback = &Recorder::Callback;
    extractor.m_callbackData = reinterpret_cast<uintptr_t>(&recorder);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_DAMAGED);
    EXPECT_FALSE(recorder.overLimit);
    EXPECT_FALSE(PathExists(Out("bomb.bin")));
    // It stopped within the first few pieces of input, not after inflating it all.
    EXPECT_LT(extractor.total_in, 3u * kBufferSize);
}

TEST_F(Extract, NamesThatCouldLeaveTheFolderAreRefused) {
    const std::vector<std::u16string> names = {
        u"",           u".",      u"..",          u"..\\evil.txt", u"../evil.txt", u"sub\\evil.txt", u"sub/evil.txt",
        u"/tmp/evil",  u"\\evil", u"C:\\evil.txt", u"C:evil.txt",  u"evil.txt.",   u"evil.txt ",     u".. ",
        u"x:stream",
    };
    for (const std::u16string& name : names) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        PackageImage image;
        image.AppendZeros(600);
        image.AddEntry(name, TextBytes(100, 1));
        image.AppendTableAndTrailer();
        SelfExtractor extractor(package);
        Load(image, extractor);
        EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_DAMAGED);
        EXPECT_EQ(extractor.ExtractAll(dest, nullptr, 0), SFX_ERR_WRITE);
        EXPECT_EQ(extractor.VerifyEntry(0), SFX_ERR_DAMAGED);
        EXPECT_TRUE(ListFolder(dest).empty());
        ExpectNothingOutsideDest();
    }
}

TEST_F(Extract, VerifyWritesNothing) {
    PackageImage image = Simple({{"a.txt", TextBytes(10000, 2)}, {"b.txt", TextBytes(10, 3)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    EXPECT_EQ(extractor.VerifyEntry(0), SFX_OK);
    EXPECT_EQ(extractor.VerifyEntry(1), SFX_OK);
    EXPECT_EQ(extractor.VerifyEntry(2), SFX_ERR_NO_ENTRIES);
    EXPECT_TRUE(ListFolder(dest).empty());
}

#ifndef _WIN32
// A full disk while the target is written: the symlink stands for the target and
// /dev/full refuses every write with ENOSPC.
TEST_F(Extract, WriteFailureEndsTheEntryAndRemovesIt) {
    PackageImage image = Simple({{"Setup.msi", RandomBytes(50000, 2)}});
    SelfExtractor extractor(package);
    Load(image, extractor);
    ASSERT_EQ(symlink("/dev/full", Narrow(Out("Setup.msi")).c_str()), 0);
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_ERR_WRITE);
    EXPECT_FALSE(PathExists(Out("Setup.msi")));
    // What failed is told: the target, written, and the system's error.
    EXPECT_EQ(extractor.LastFailure().side, FileFailure::kWrite);
    EXPECT_TRUE(extractor.LastFailure().file == Out("Setup.msi"));
    EXPECT_EQ(extractor.LastFailure().osError, ENOSPC);
    // The object is still usable.
    EXPECT_EQ(extractor.ExtractEntry(0, dest, false), SFX_OK);
}
#endif

// Exposes the internal steps.
class Probe : public SelfExtractor {
public:
    using SelfExtractor::FillInput;
    using SelfExtractor::FlushOutput;
    using SelfExtractor::GetProgressPercent;
    Probe() : SelfExtractor(WideString()) {}
    int32_t Percent(uint32_t total, uint32_t consumed) {
        m_progressTotal = static_cast<int32_t>(total);
        total_in = consumed;
        return GetProgressPercent();
    }
};

TEST(ProgressPercent, UnsignedWithTheSplitAtTenMillion) {
    Probe p;
    EXPECT_EQ(p.Percent(0, 0), 100);
    EXPECT_EQ(p.Percent(0, 12345), 100);
    EXPECT_EQ(p.Percent(200, 50), 25);
    EXPECT_EQ(p.Percent(200, 0), 0);
    EXPECT_EQ(p.Percent(10000000, 9999999), 99);
    EXPECT_EQ(p.Percent(10000000, 5000000), 50);
    // Above the split total / 100 is truncated first.
    EXPECT_EQ(p.Percent(10000001, 5000000), 50);
    EXPECT_EQ(p.Percent(10000099, 9999999), 99);
    // consumed * 100 would overflow 32 bits here; the split avoids it.
    EXPECT_EQ(p.Percent(2000000000u, 1999999999u), 99);
    EXPECT_EQ(p.Percent(2000000000u, 1000000000u), 50);
    // A compressed size of 2 GiB and more is still taken as unsigned.
    EXPECT_EQ(p.Percent(3000000000u, 1500000000u), 50);
    // More consumed than the total (a lying record) stays at 100.
    EXPECT_EQ(p.Percent(1000, 1001), 100);
    EXPECT_EQ(p.Percent(1000, 50000000), 100);
}

TEST(StreamSteps, FillInputReadsOnlyWhenNothingIsPending) {
    ScratchFolder scratch;
    const WideString path = scratch / "in.bin";
    WriteBytes(path, RandomBytes(5000, 1));
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll));
    Probe p;
    p.avail_in = 0;
    EXPECT_EQ(p.FillInput(file), 4096u);
    EXPECT_EQ(p.next_in, p.m_inBuffer);
    p.avail_in = 10;  // pending: no read
    EXPECT_EQ(p.FillInput(file), 10u);
    EXPECT_EQ(file.GetPosition(), 4096u);
    p.avail_in = 0;
    EXPECT_EQ(p.FillInput(file), 904u);
    p.avail_in = 0;
    EXPECT_EQ(p.FillInput(file), 0u);
    file.Close();

    const WideString outPath = scratch / "out.bin";
    CFile out;
    ASSERT_TRUE(out.Open(outPath.c_str(), CFile::create | CFile::shareAllowAll | CFile::accessWrite));
    p.next_out = p.m_outBuffer + 3;
    p.avail_out = kBufferSize - 3;
    p.m_outBuffer[0] = 'a';
    p.m_outBuffer[1] = 'b';
    p.m_outBuffer[2] = 'c';
    EXPECT_EQ(p.FlushOutput(out), 3u);
    EXPECT_EQ(p.avail_out, kBufferSize);
    EXPECT_EQ(p.next_out, p.m_outBuffer);
    EXPECT_EQ(p.FlushOutput(out), 0u);
    out.Close();
    EXPECT_EQ(ReadBytes(outPath), (std::vector<uint8_t>{'a', 'b', 'c'}));
}

}  // namespace
