// The marker search and the decoding of the table of contents.
#include <gtest/gtest.h>

#include <climits>

#include "package/FileFailure.h"
#include "package/MemoryFile.h"
#include "package/PackageImage.h"
#include "package/ScriptedFile.h"
#include "package/SelfExtractor.h"
#include "package/reader/TableOfContents.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

struct TocResult {
    int32_t code;
    int32_t count;
    TocLocation location;
    std::vector<PackageEntry> entries;
};

TocResult ReadInMemory(const std::vector<uint8_t>& bytes) {
    MemoryFile file(bytes);
    TocResult result{};
    std::vector<PackageEntry> table(kMaxEntries);
    result.code = ReadTableOfContentsFrom(file, table.data(), &result.count, &result.location);
    result.entries = table;
    return result;
}

// One entry named name whose stream is a run of filler bytes (the search does not inflate).
PackageImage OneEntry(size_t prefix, const std::u16string& name, size_t streamLength = 100,
                      uint8_t filler = 0x5A) {
    PackageImage image;
    image.AppendZeros(prefix);
    PackageImage::Record record;
    record.offset = static_cast<uint32_t>(prefix);
    record.size = 1234;
    record.compressedSize = static_cast<uint32_t>(streamLength);
    record.name = name;
    record.nameLength = static_cast<int32_t>(name.size());
    image.Append(std::vector<uint8_t>(streamLength, filler));
    image.Records().push_back(record);
    return image;
}

// The installer of the worked example, rebuilt with filler where it held the
// stub and the compressed database.
TEST(TableOfContents, WorkedExampleIsFoundInTheNinthWindow) {
    PackageImage image;
    image.AppendZeros(1034240);
    PackageImage::Record record;
    record.offset = 1034240;
    record.size = 4161536;
    record.compressedSize = 3429909;
    record.name = U16("Setup.msi");
    record.nameLength = 9;
    std::vector<uint8_t> stream = RandomBytes(3429909, 1);
    stream[0] = 0x78;
    stream[1] = 0x9C;
    image.Append(stream);
    image.Records().push_back(record);
    image.AppendTableAndTrailer();
    ASSERT_EQ(image.Size(), 4464201u);
    image.AppendZeros(7);
    image.Append(RandomBytes(4144, 2));
    ASSERT_EQ(image.Size(), 4468352u);

    const TocResult memory = ReadInMemory(image.Bytes());
    EXPECT_EQ(memory.code, SFX_OK);
    EXPECT_EQ(memory.location.markerDistance, 4161u);
    EXPECT_EQ(memory.location.windowCount, 9u);

    ScratchFolder scratch;
    const WideString path = scratch / "CorvellaSetup.exe";
    WriteBytes(path, image.Bytes());
    SelfExtractor extractor(path);
    ASSERT_EQ(extractor.ReadTableOfContents(path), SFX_OK);
    ASSERT_EQ(extractor.m_entryCount, 1);
    const PackageEntry entry = extractor.GetEntry(0);
    EXPECT_TRUE(entry.GetName() == u"Setup.msi");
    EXPECT_EQ(entry.size, 4161536u);
    EXPECT_EQ(entry.compressedSize, 3429909u);
    EXPECT_EQ(entry.offset, 1034240u);
    EXPECT_TRUE(entry.sourcePath.IsEmpty());
}

// Each further window steps back 502 bytes: a marker at distance D is found after
// ceil((D - 512) / 502) further windows.
TEST(TableOfContents, WindowCountFollowsTheMarkerDistance) {
    for (size_t suffix : {0, 1, 100, 493, 494, 495, 500, 502, 503, 504, 996, 997, 998, 1006, 1007, 1500, 4000,
                          4143, 4151, 10000}) {
        PackageImage image = OneEntry(600, U16("a.bin"));
        image.AppendTableAndTrailer();
        image.Append(std::vector<uint8_t>(suffix, 0xEE));
        const TocResult r = ReadInMemory(image.Bytes());
        const uint32_t d = static_cast<uint32_t>(suffix + 10);
        const uint32_t further = d <= 512 ? 0 : (d - 512 + 501) / 502;
        SCOPED_TRACE(suffix);
        EXPECT_EQ(r.code, SFX_OK);
        EXPECT_EQ(r.location.markerDistance, d);
        EXPECT_EQ(r.location.windowCount, 1 + further);
        ASSERT_EQ(r.count, 1);
        EXPECT_TRUE(r.entries[0].name == u"a.bin");
    }
}

TEST(TableOfContents, MarkerStraddlingTwoWindowsIsFoundInTheLaterOne) {
    // Window 1 holds distances 512..1, window 2 1014..503, window 3 1516..1005.
    for (uint32_t d : {513u, 516u, 521u, 1015u, 1018u, 1023u}) {
        PackageImage image = OneEntry(2000, U16("x"));
        image.AppendTableAndTrailer();
        image.Append(std::vector<uint8_t>(d - 10, 0x11));
        const TocResult r = ReadInMemory(image.Bytes());
        SCOPED_TRACE(d);
        EXPECT_EQ(r.code, SFX_OK);
        EXPECT_EQ(r.location.markerDistance, d);
        EXPECT_EQ(r.location.windowCount, d < 1014 ? 2u : 3u);
    }
}

TEST(TableOfContents, MarkerNearestTheWindowStartWins) {
    // A second marker behind the trailer but in the same window loses...
    PackageImage same = OneEntry(1000, U16("a"));
    same.AppendTableAndTrailer();
    for (char c : std::string("junk!NORBASFX!")) same.Bytes().push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(ReadInMemory(same.Bytes()).code, SFX_OK);
    // ...but one in an earlier window (nearer the end) is taken, and it has no version.
    PackageImage later = OneEntry(1000, U16("a"));
    later.AppendTableAndTrailer();
    later.AppendZeros(700);
    for (char c : std::string("junk!NORBASFX!")) later.Bytes().push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(ReadInMemory(later.Bytes()).code, SFX_ERR_BAD_PACKAGE);
}

TEST(TableOfContents, FilesWithoutAFindablePackageAreBad) {
    // Complete and valid, but under 512 bytes: the first window's seek fails.
    PackageImage small = OneEntry(0, U16("tiny"), 50);
    small.AppendTableAndTrailer();
    ASSERT_LT(small.Size(), 512u);
    EXPECT_EQ(ReadInMemory(small.Bytes()).code, SFX_ERR_BAD_PACKAGE);
    // Padded to exactly 512 it is found.
    PackageImage exact = OneEntry(512 - 50 - 16 - 8 - 18, U16("tiny"), 50);
    exact.AppendTableAndTrailer();
    ASSERT_EQ(exact.Size(), 512u);
    EXPECT_EQ(ReadInMemory(exact.Bytes()).code, SFX_OK);

    EXPECT_EQ(ReadInMemory({}).code, SFX_ERR_BAD_PACKAGE);
    // No marker anywhere: every window is read once, then the search stops at the start.
    const std::vector<uint8_t> noise = RandomBytes(200000, 3);
    MemoryFile file(noise);
    std::vector<PackageEntry> table(kMaxEntries);
    int32_t count = -1;
    TocLocation where;
    FileFailure failure;
    EXPECT_EQ(ReadTableOfContentsFrom(file, table.data(), &count, &where, &failure), SFX_ERR_BAD_PACKAGE);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(where.windowCount, (200000u - 512) / 502 + 2);
    EXPECT_LE(file.Seeks(), 400u);
    EXPECT_FALSE(failure.Failed()) << "a search that reached the start is no failed read";
    // A package whose table cannot be read is no missing package: the failed read is told.
    PackageImage unreadable = OneEntry(1000, U16("a"));
    unreadable.AppendTableAndTrailer();
    ScriptedFile failing(unreadable.Bytes());
    failing.failReadAt = unreadable.Size() - 30;
    EXPECT_EQ(ReadTableOfContentsFrom(failing, table.data(), &count, nullptr, &failure), SFX_ERR_BAD_PACKAGE);
    EXPECT_EQ(failure.side, FileFailure::kRead);
    EXPECT_EQ(failure.cause, CFileException::hardIO);
    EXPECT_EQ(failure.osError, 23);
    // A near miss is no marker.
    PackageImage nearMiss = OneEntry(1000, U16("a"));
    nearMiss.AppendTableAndTrailer();
    nearMiss.Bytes().back() = '?';
    EXPECT_EQ(ReadInMemory(nearMiss.Bytes()).code, SFX_ERR_BAD_PACKAGE);
}

TEST(TableOfContents, OtherVersionsAreNotAPackage) {
    for (const char* version : {"2.01", "1.00", "2.0\0", "    "}) {
        PackageImage image = OneEntry(1000, U16("a"));
        image.AppendTable();
        image.AppendTrailer(1, version);
        EXPECT_EQ(ReadInMemory(image.Bytes()).code, SFX_ERR_BAD_PACKAGE) << version;
    }
}

TEST(TableOfContents, CountZeroMeansNoEntries) {
    PackageImage image;
    image.AppendZeros(1000);
    image.AppendTrailer(0);
    const TocResult r = ReadInMemory(image.Bytes());
    EXPECT_EQ(r.code, SFX_ERR_NO_ENTRIES);
    EXPECT_EQ(r.count, 0);
}

TEST(TableOfContents, RecordsAreReadBackwardsIntoTheirSlots) {
    PackageImage image;
    image.AppendZeros(800);
    for (int i = 0; i < 3; ++i) {
        PackageImage::Record r;
        r.offset = 100u * i + 1;
        r.size = 1000u * i + 2;
        r.compressedSize = 10u * i + 3;
        r.name = U16(i == 0 ? "first" : i == 1 ? "second.dat" : "3");
        r.nameLength = static_cast<int32_t>(r.name.size());
        image.Records().push_back(r);
    }
    image.AppendTableAndTrailer();
    const TocResult r = ReadInMemory(image.Bytes());
    ASSERT_EQ(r.code, SFX_OK);
    ASSERT_EQ(r.count, 3);
    for (int i = 0; i < 3; ++i) {
        const PackageImage::Record& want = image.Records()[i];
        EXPECT_EQ(std::u16string(r.entries[i].name.c_str()), want.name);
        EXPECT_EQ(r.entries[i].offset, want.offset);
        EXPECT_EQ(r.entries[i].size, want.size);
        EXPECT_EQ(r.entries[i].compressedSize, want.compressedSize);
    }
}

TEST(TableOfContents, NamesAreCutAtAZeroUnitAndMayBeEmpty) {
    PackageImage image = OneEntry(1000, std::u16string(u"Set\0up.msi", 10));
    PackageImage::Record empty = image.Records()[0];
    empty.name.clear();
    empty.nameLength = 0;
    image.Records().push_back(empty);
    std::u16string longest(255, u'\x4E2D');  // non-ASCII units survive
    PackageImage::Record full = image.Records()[0];
    full.name = longest;
    full.nameLength = 255;
    image.Records().push_back(full);
    image.AppendTableAndTrailer();
    const TocResult r = ReadInMemory(image.Bytes());
    ASSERT_EQ(r.code, SFX_OK);
    ASSERT_EQ(r.count, 3);
    EXPECT_TRUE(r.entries[0].name == u"Set");
    EXPECT_TRUE(r.entries[1].name.IsEmpty());
    EXPECT_EQ(std::u16string(r.entries[2].name.c_str()), longest);
    // The record after a cut name is still decoded from the right place.
    EXPECT_EQ(r.entries[1].offset, 1000u);
}

TEST(TableOfContents, CountsAndNameLengthsOutsideTheLimitsAreRefused) {
    for (int32_t count : {-1, 257, INT_MAX, INT_MIN, 1000}) {
        PackageImage image = OneEntry(1000, U16("a"));
        image.AppendTable();
        image.AppendTrailer(count);
        const TocResult r = ReadInMemory(image.Bytes());
        EXPECT_EQ(r.code, SFX_ERR_BAD_PACKAGE) << count;
        EXPECT_EQ(r.count, 0) << count;
    }
    for (int32_t nameLength : {-1, 256, INT_MAX, INT_MIN}) {
        PackageImage image = OneEntry(5000, U16("a"));
        image.Records()[0].nameLength = nameLength;
        image.AppendTableAndTrailer();
        EXPECT_EQ(ReadInMemory(image.Bytes()).code, SFX_ERR_BAD_PACKAGE) << nameLength;
    }
}

TEST(TableOfContents, TheFullTableOf256EntriesIsRead) {
    PackageImage image;
    image.AppendZeros(100);
    for (int i = 0; i < 256; ++i) {
        PackageImage::Record r;
        r.offset = static_cast<uint32_t>(i);
        r.name = std::u16string(255, static_cast<char16_t>(u'A' + i % 26));
        r.nameLength = 255;
        image.Records().push_back(r);
    }
    image.AppendTableAndTrailer();
    const TocResult r = ReadInMemory(image.Bytes());
    ASSERT_EQ(r.code, SFX_OK);
    ASSERT_EQ(r.count, 256);
    EXPECT_EQ(r.entries[255].offset, 255u);
    EXPECT_EQ(r.entries[255].name.GetLength(), 255u);
    EXPECT_EQ(r.entries[0].name[0], u'A');
}

TEST(TableOfContents, RecordsRunningPastTheStartAreBad) {
    // 256 records claimed; the zeros before the real one read as empty records
    // until the walk reaches the start of the file.
    PackageImage image = OneEntry(0, U16("a"), 480, 0x00);
    image.AppendTable();
    image.AppendTrailer(256);
    ASSERT_GE(image.Size(), 512u);
    EXPECT_EQ(ReadInMemory(image.Bytes()).code, SFX_ERR_BAD_PACKAGE);
    // A name length that reaches before the start.
    PackageImage longName = OneEntry(0, U16("a"), 290);
    longName.Records()[0].nameLength = 255;
    longName.Records()[0].name = std::u16string(100, u'n');
    longName.AppendTableAndTrailer();
    ASSERT_EQ(longName.Size(), 524u);
    EXPECT_EQ(ReadInMemory(longName.Bytes()).code, SFX_ERR_BAD_PACKAGE);
}

TEST(TableOfContents, SelfExtractorResultsAndTableLifetime) {
    ScratchFolder scratch;
    SelfExtractor extractor(scratch / "none");
    EXPECT_EQ(extractor.ReadTableOfContents(scratch / "missing.exe"), SFX_ERR_OPEN_PACKAGE);

    PackageImage good;
    good.AppendZeros(600);
    good.AddEntry(U16("one"), TextBytes(100, 1));
    good.AddEntry(U16("two"), TextBytes(100, 2));
    good.AppendTableAndTrailer();
    const WideString goodPath = scratch / "good.bin";
    WriteBytes(goodPath, good.Bytes());
    ASSERT_EQ(extractor.ReadTableOfContents(goodPath), SFX_OK);
    EXPECT_EQ(extractor.m_entryCount, 2);

    // A failure empties the table instead of leaving half of it.
    PackageImage bad = good;
    bad.Bytes()[bad.Size() - 14] = '3';  // version "3.00"
    const WideString badPath = scratch / "bad.bin";
    WriteBytes(badPath, bad.Bytes());
    EXPECT_EQ(extractor.ReadTableOfContents(badPath), SFX_ERR_BAD_PACKAGE);
    EXPECT_EQ(extractor.m_entryCount, 0);
    EXPECT_TRUE(extractor.m_entries[0].name.IsEmpty());
    EXPECT_TRUE(extractor.GetEntry(0).name.IsEmpty());

    PackageImage none;
    none.AppendZeros(600);
    none.AppendTrailer(0);
    const WideString nonePath = scratch / "none.bin";
    WriteBytes(nonePath, none.Bytes());
    ASSERT_EQ(extractor.ReadTableOfContents(goodPath), SFX_OK);
    EXPECT_EQ(extractor.ReadTableOfContents(nonePath), SFX_ERR_NO_ENTRIES);
    EXPECT_EQ(extractor.m_entryCount, 0);
    // Reading does not keep the file open: it can be removed at once.
    EXPECT_NO_THROW(RemoveTree(goodPath));
    EXPECT_FALSE(PathExists(goodPath));
}

}  // namespace
