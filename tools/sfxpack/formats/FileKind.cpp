#include "tools/sfxpack/formats/FileKind.h"

#include "file/CFile.h"
#include "file/CatchFileError.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/Figures.h"
#include "tools/sfxpack/cli/JsonWriter.h"
#include "tools/sfxpack/files/FileSystem.h"
#include "tools/sfxpack/formats/PeImage.h"

namespace {

// True when the bytes at position begin a zlib stream as every entry does: deflate with
// a window of at most 32 KiB, no preset dictionary, and the header's check bits right.
bool BeginsAsStream(CFile& file, uint64_t position) {
    uint8_t header[2] = {0, 0};
    uint32_t got = 0;
    if (position > kMaxPackageLength) return false;
    CatchFileError([&] {
        file.Seek(static_cast<int32_t>(position), CFile::begin);
        got = file.Read(header, sizeof header);
    });
    return got == sizeof header && header[0] == 0x78 && !(header[1] & 0x20) &&
           (header[0] << 8 | header[1]) % 31 == 0;
}

}  // namespace

FileKind FileKind::Of(const WideString& path) {
    CFile file;
    std::string why;
    if (!OpenForReading(path, file, &why)) return FileKind(kUnreadable, why, std::nullopt);
    uint64_t length = 0;
    const std::optional<uint64_t> size =
        SizeOf(path, &length) ? std::optional<uint64_t>(length) : std::nullopt;
    SelfExtractor reader(path);
    const PackageResult table = reader.ReadTableOfContents(path);
    if (reader.LastFailure().Failed()) {
        file.Abort();
        return FileKind(kUnreadable, ResultWords(table, reader.LastFailure()), size);
    }
    if (table != SFX_OK && table != SFX_ERR_NO_ENTRIES) {
        FileKind kind = WithoutPackage(file, length);
        file.Abort();
        kind.size = size;
        return kind;
    }
    const PeImage image = PeImage::Read(file);
    file.Abort();
    const int32_t entries = reader.GetEntryCount();
    if (image.Is32BitX86()) {
        return FileKind(kInstaller,
                        "an installer: a 32-bit Windows program with a package of " +
                            std::to_string(entries) + (entries == 1 ? " entry" : " entries"),
                        size);
    }
    if (!image.IsPe())
        return FileKind(kNotWindows, "a package file without a stub, not a Windows program", size);
    return NotOurs(image, size);
}

FileKind FileKind::WithoutPackage(CFile& file, uint64_t size) {
    const PeImage image = PeImage::Read(file);
    if (!image.IsPe()) return FileKind(kNotWindows, "not a Windows program", size);
    const uint64_t end = image.End(size);
    if (end < size && BeginsAsStream(file, end)) {
        return FileKind(kCutShort,
                        "cut short or damaged after " + Bytes(size) + ": the package's end is missing", size);
    }
    return NotOurs(image, size);
}

FileKind FileKind::NotOurs(const PeImage& image, std::optional<uint64_t> size) {
    return FileKind(kNotOurs,
                    image.Is64Bit() ? "a 64-bit Windows program, not one of our installers"
                                    : "a Windows program but not one of our installers",
                    size);
}

const char* FileKind::Name() const {
    static const char* const names[] = {"installer", "unreadable", "not-windows", "not-ours", "cut-short"};
    return names[kind];
}

std::string FileKind::Json() const {
    JsonWriter json;
    json.BeginObject();
    json.Key("kind").String(Name());
    json.Key("words").String(words);
    if (size) {
        json.Key("size").Number(*size);
    } else {
        json.Key("size").Null();
    }
    json.EndObject();
    std::string text = json.Text();
    text.pop_back();  // the closing newline
    return text;
}
