#include "tools/sfxpack/commands/PackageInfo.h"

#include <vector>

#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/CatchFileError.h"
#include "file/RemoveQuietly.h"
#include "package/PackageFormat.h"
#include "package/SelfExtractor.h"
#include "package/reader/TableOfContents.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/Figures.h"
#include "tools/sfxpack/cli/JsonWriter.h"
#include "tools/sfxpack/cli/PackerProgress.h"
#include "tools/sfxpack/commands/NameProblems.h"
#include "tools/sfxpack/files/TemporaryFolder.h"
#include "tools/sfxpack/formats/PeImage.h"

namespace {

const char* CheckText(const EntryInfo& entry) {
    return entry.verdict ? entry.verdict->Check() : "-";
}

}  // namespace

void PackageInfo::Collect(const SelfExtractor& reader, const TocLocation& location) {
    file = reader.GetPackagePath();
    uint32_t fileLength = 0;
    CertificateTable table;
    CFile opened;
    if (opened.Open(file.c_str(), CFile::accessRead | CFile::shareAllowAll)) {
        CatchFileError([&] { fileLength = opened.GetLength(); });
        const PeImage image = PeImage::Read(opened);
        isSigned = image.Signature() == StubSignature::kSigned;
        table = image.Certificates();
        opened.Abort();
    }
    // Where the trailer ends, 0 when that is unknown.
    const uint32_t packageEnd = location.markerDistance != 0 && location.markerDistance <= fileLength
                                    ? fileLength - location.markerDistance + kMarkerLength
                                    : 0;
    signatureCoversPackage = isSigned && packageEnd != 0 && table.offset >= packageEnd &&
                             uint64_t{table.offset} + table.size <= fileLength;
    stubSize = reader.GetEntryCount() > 0 ? reader.EntryAt(0).offset : 0;
    entries.clear();
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry& e = reader.EntryAt(i);
        if (e.offset < stubSize) stubSize = e.offset;
        EntryInfo entry;
        entry.index = i;
        entry.name = e.name;
        entry.size = e.size;
        entry.compressedSize = e.compressedSize;
        entry.offset = e.offset;
        entries.push_back(entry);
    }
}

void PackageInfo::Inspect(SelfExtractor& reader, bool showProgress, bool verbose) {
    // Each entry is checked by inflating it into a private folder, where a
    // database among them is then opened by the installer library.
    TemporaryFolder folder;
    if (!folder.IsReady()) PrintError(file, "no private temporary folder; installer databases are not read");
    uint64_t total = 0;
    for (const EntryInfo& entry : entries) total += entry.compressedSize;
    PackerProgress progress(showProgress, verbose ? "checking" : nullptr, total);
    for (EntryInfo& entry : entries) {
        EntryVerdict verdict = EntryVerdict::OfNames(reader, entry.index);
        WideString copy;
        if (verdict.Good()) {
            PackageResult result = SFX_ERR_WRITE;
            CFile target;
            if (folder.IsReady()) {
                copy = folder.PathFor(entry.name);
                if (target.Open(copy.c_str(), CFile::createNew | CFile::accessWrite | CFile::noInherit)) {
                    result = reader.InflateEntryInBlocks(entry.index, &target, &progress);
                    FileFailure closing;
                    if (!closing.Catch(FileFailure::kWrite, copy, [&] { target.Close(); }))
                        result = SFX_ERR_WRITE;
                }
            }
            // Without a copy on disk (the private folder refused it) the entry is still
            // checked, in memory.
            if (result == SFX_ERR_WRITE)
                result = reader.InflateEntryInBlocks(entry.index, nullptr, &progress);
            verdict.TakeData(result, reader.LastFailure());
        }
        // A package the disk cannot read is no fact about the package: an error of its own.
        if (verdict.Unreadable()) verdict.Report(file);
        entry.verdict = verdict;
        if (verdict.Good() && !copy.IsEmpty() && HasDatabaseSignature(copy)) {
            std::string problem;
            entry.isDatabase = ReadMsiProduct(copy, &entry.product, &problem);
            if (!entry.isDatabase) {
                entry.databaseProblem = problem;
                PrintError(file, EntryText(reader, entry.index) + problem);
            }
        }
        if (!copy.IsEmpty()) RemoveQuietly(copy);
    }
}

std::string PackageInfo::Json() const {
    JsonWriter json;
    json.BeginObject();
    json.Key("file").String(Utf8FromWide(file));
    json.Key("stub_size").Number(stubSize);
    json.Key("signed").Bool(isSigned);
    json.Key("signature_covers_package").Bool(signatureCoversPackage);
    json.Key("entries").BeginArray();
    for (const EntryInfo& e : entries) {
        json.BeginObject();
        json.Key("index").Number(static_cast<uint64_t>(e.index));
        json.Key("name").String(Utf8FromWide(e.name));
        json.Key("size").Number(e.size);
        json.Key("compressed_size").Number(e.compressedSize);
        json.Key("offset").Number(e.offset);
        if (e.verdict) json.Key("checksum").String(CheckText(e));
        if (e.verdict && !e.verdict->Good()) json.Key("problem").String(e.verdict->Words());
        if (e.isDatabase) {
            json.Key("msi").BeginObject();
            json.Key("ProductName").String(e.product.name);
            json.Key("ProductVersion").String(e.product.version);
            json.Key("ProductCode").String(e.product.code);
            json.Key("Manufacturer").String(e.product.manufacturer);
            json.EndObject();
        } else if (!e.databaseProblem.empty()) {
            json.Key("msi").Null();
            json.Key("msi_error").String(e.databaseProblem);
        }
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

std::string PackageInfo::Text() const {
    std::string text = "file:       " + Printable(file) + "\n";
    text += "stub:       " + Bytes(stubSize) + "\n";
    text += std::string("signature:  ") +
            (!isSigned                ? "none"
             : signatureCoversPackage ? "Authenticode, covers the package"
                                      : "Authenticode, does NOT cover the package (its table lies before the "
                                        "package's end)") +
            "\n";
    const auto row = [](const std::string& index, const std::string& size, const std::string& compressed,
                        const std::string& offset, const std::string& check) {
        return Column(index, 5) + Column(size, kBytesColumn) + Column(compressed, kBytesColumn) +
               Column(offset, kBytesColumn) + Column(check, -8);
    };
    text += row("index", "size", "compressed", "offset", "checksum") + "name\n";
    for (const EntryInfo& e : entries) {
        text += row(std::to_string(e.index), Grouped(e.size), Grouped(e.compressedSize), Grouped(e.offset),
                    CheckText(e)) +
                Printable(e.name) + "\n";
        if (e.verdict && !e.verdict->Good()) text += "       " + e.verdict->Words() + "\n";
        if (e.isDatabase) text += "       " + ProductNote(e.name, e.product) + "\n";
    }
    return text;
}

int PackageInfo::Status() const {
    int status = kExitOk;
    for (const EntryInfo& e : entries) {
        if (e.verdict && !e.verdict->Good()) return e.verdict->Status();
        if (!e.databaseProblem.empty()) status = kExitRefused;
    }
    return status;
}
