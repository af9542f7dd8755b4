#include "tools/sfxpack/PackageInfo.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "base/Path.h"
#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/EntryName.h"
#include "package/RemoveQuietly.h"
#include "package/SelfExtractor.h"
#include "package/TableOfContents.h"
#include "tools/sfxpack/Console.h"
#include "tools/sfxpack/ExitStatus.h"
#include "tools/sfxpack/JsonWriter.h"
#include "tools/sfxpack/PackerFiles.h"
#include "tools/sfxpack/PackerOptions.h"
#include "tools/sfxpack/PeCertificate.h"
#include "tools/sfxpack/TemporaryFolder.h"

namespace {

// Where the trailer of the package in path ends (0 when it cannot be found).
uint32_t PackageEnd(const WideString& path, uint32_t* fileLength) {
    CFile file;
    *fileLength = 0;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll)) return 0;
    std::vector<PackageEntry> scratch(kMaxEntries);
    int32_t count = 0;
    TocLocation location;
    const PackageResult result = ReadTableOfContentsFrom(file, scratch.data(), &count, &location);
    uint32_t length = 0;
    try {
        length = file.GetLength();
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
    }
    file.Abort();
    *fileLength = length;
    if (result != SFX_OK || location.markerDistance > length) return 0;
    return length - location.markerDistance + kMarkerLength;
}

const char* CheckText(EntryInfo::Check check) {
    switch (check) {
        case EntryInfo::Check::kOk:
            return "ok";
        case EntryInfo::Check::kDamaged:
            return "damaged";
        case EntryInfo::Check::kUnreadable:
            return "unreadable";
        default:
            return "-";
    }
}

struct InspectProgress {
    ProgressBar bar;
    uint64_t done = 0;
    uint64_t total = 0;
    uint32_t weight = 0;
    std::string item;
    explicit InspectProgress(bool enabled) : bar(enabled) {}
};

void OnInspectEvent(PackageEvent event, void* data, uintptr_t userData) {
    InspectProgress* p = reinterpret_cast<InspectProgress*>(userData);
    if (event != SFX_EVENT_PROGRESS) return;
    p->bar.Show(p->done + uint64_t{p->weight} * static_cast<uint32_t>(*static_cast<int32_t*>(data)) / 100,
                p->total, p->item);
}

}  // namespace

void PackageInfo::Collect(SelfExtractor& reader, bool inspect, bool showProgress, bool verbose) {
    file = reader.GetPackagePath();
    uint32_t fileLength = 0;
    const uint32_t packageEnd = PackageEnd(file, &fileLength);
    CertificateTable table;
    isSigned = ReadCertificateTable(file, &table) == StubSignature::kSigned;
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
    if (!inspect) return;

    // Each entry is checked by inflating it into a private folder, where a
    // database among them is then opened by the installer library.
    TemporaryFolder folder;
    if (!folder.IsReady()) PrintError(file, "no private temporary folder; installer databases are not read");
    InspectProgress progress(showProgress);
    for (const EntryInfo& entry : entries) progress.total += entry.compressedSize;
    reader.SetProgressCallback(&OnInspectEvent, reinterpret_cast<uintptr_t>(&progress));
    for (EntryInfo& entry : entries) {
        progress.weight = entry.compressedSize;
        progress.item = Printable(entry.name);
        if (verbose) progress.bar.Note("checking " + progress.item);
        PackageResult result = SFX_ERR_WRITE;
        WideString copy;
        if (folder.IsReady() && IsValidEntryName(entry.name)) {
            copy = folder.Hold(entry.name);
            result = reader.ExtractEntry(entry.index, folder.GetPath(), false);
        }
        // Without a copy on disk the entry is still checked, in memory.
        if (result == SFX_ERR_WRITE) result = reader.VerifyEntry(entry.index);
        progress.done += entry.compressedSize;
        entry.check = result == SFX_OK                ? EntryInfo::Check::kOk
                      : result == SFX_ERR_OPEN_SOURCE ? EntryInfo::Check::kUnreadable
                                                      : EntryInfo::Check::kDamaged;
        if (entry.check == EntryInfo::Check::kOk && !copy.IsEmpty() && HasDatabaseSignature(copy)) {
            std::string problem;
            entry.isDatabase = ReadMsiProduct(copy, &entry.product, &problem);
            if (!entry.isDatabase) {
                progress.bar.Finish();
                PrintError(file,
                           "entry " + std::to_string(entry.index) + " (" + progress.item + "): " + problem);
            }
        }
        if (!copy.IsEmpty()) RemoveQuietly(copy);
    }
    reader.SetProgressCallback(nullptr, 0);
    progress.bar.Finish();
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
        if (e.check != EntryInfo::Check::kNotChecked) json.Key("checksum").String(CheckText(e.check));
        if (e.isDatabase) {
            json.Key("msi").BeginObject();
            json.Key("ProductName").String(e.product.name);
            json.Key("ProductVersion").String(e.product.version);
            json.Key("ProductCode").String(e.product.code);
            json.Key("Manufacturer").String(e.product.manufacturer);
            json.EndObject();
        }
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text();
}

std::string PackageInfo::Text() const {
    std::string text = "file:       " + Printable(file) + "\n";
    text += "stub:       " + std::to_string(stubSize) + " bytes\n";
    text += std::string("signature:  ") +
            (!isSigned                ? "none"
             : signatureCoversPackage ? "Authenticode, covers the package"
                                      : "Authenticode, does NOT cover the package (its table lies before the "
                                        "package's end)") +
            "\n";
    text += "index        size  compressed      offset  checksum  name\n";
    for (const EntryInfo& e : entries) {
        char line[96];
        std::snprintf(line, sizeof line, "%5d  %10u  %10u  %10u  %-8s  ", static_cast<int>(e.index), e.size,
                      e.compressedSize, e.offset, CheckText(e.check));
        text += line + Printable(e.name) + "\n";
        if (e.isDatabase) text += "       " + ProductNote(e.name, e.product) + "\n";
    }
    return text;
}

int PackageInfo::Status() const {
    for (const EntryInfo& e : entries) {
        if (e.check == EntryInfo::Check::kDamaged) return kExitDamaged;
        if (e.check == EntryInfo::Check::kUnreadable) return kExitCannotRead;
    }
    return kExitOk;
}

std::string ProductNote(const WideString& name, const MsiProduct& product) {
    return Printable(name) + ": product " + ProductLine(product);
}

void PrintProducts(const std::vector<WideString>& files) {
    for (const WideString& file : files) {
        if (!HasDatabaseSignature(file)) continue;
        MsiProduct product;
        std::string problem;
        if (ReadMsiProduct(file, &product, &problem)) {
            PrintOut(ProductNote(BaseName(file), product) + "\n");
        } else {
            PrintError(file, problem);
        }
    }
}

int ShowPackageInfo(const PackerOptions& options, SelfExtractor& reader, bool inspect) {
    PackageInfo info;
    info.Collect(reader, inspect, StderrIsTerminal() && !options.quiet, options.verbose);
    PrintOut(options.json ? info.Json() : info.Text());
    return info.Status();
}
