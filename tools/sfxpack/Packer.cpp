#include "tools/sfxpack/Packer.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/EntryName.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/Console.h"
#include "tools/sfxpack/ExitStatus.h"
#include "tools/sfxpack/PackageInfo.h"
#include "tools/sfxpack/PackerFiles.h"
#include "tools/sfxpack/PeCertificate.h"
#include "tools/sfxpack/TemporaryFile.h"

#ifndef SFXPACK_VERSION
#define SFXPACK_VERSION "0"
#endif

namespace {

// Reads the table of contents, reporting a failure; kExitOk when it was read.
int OpenPackage(SelfExtractor& extractor, const WideString& path) {
    const std::string unreadable = WhyUnreadable(path);
    if (!unreadable.empty()) {
        PrintError(path, unreadable);
        return kExitCannotRead;
    }
    switch (extractor.ReadTableOfContents(path)) {
        case SFX_OK:
            return kExitOk;
        case SFX_ERR_OPEN_PACKAGE: {
            const std::string why = WhyUnreadable(path);
            PrintError(path, why.empty() ? "cannot be opened" : why);
            return kExitCannotRead;
        }
        case SFX_ERR_NO_ENTRIES:
            PrintError(path, "the package holds no entries");
            return kExitNotPackage;
        default:
            PrintError(path, "not a package (no valid table of contents found)");
            return kExitNotPackage;
    }
}

std::string NameProblem(const WideString& name) {
    if (name.IsEmpty()) return "the name is empty";
    if (name.GetLength() > static_cast<size_t>(kMaxNameLength))
        return "the name is longer than 255 characters";
    return "the name '" + Printable(name) +
           "' could place the file outside its folder (\\ / : . ..) or is a Windows device name (CON, NUL, "
           "COM1...)";
}

// The first of `indexes` before position `upTo` whose entry has the same file name as
// entry `index`, or -1.
int32_t EarlierEntryOfSameName(const SelfExtractor& reader, const std::vector<int32_t>& indexes, size_t upTo,
                               int32_t index) {
    for (size_t k = 0; k < upTo; ++k) {
        if (SameEntryName(reader.m_entries[indexes[k]].name, reader.m_entries[index].name)) return indexes[k];
    }
    return -1;
}

// "entry 3 (name): ", the start of a message about one entry.
std::string EntryText(const SelfExtractor& reader, int32_t index) {
    return "entry " + std::to_string(index) + " (" + Printable(reader.m_entries[index].name) + "): ";
}

// folder/name, with one separator between them.
WideString InFolder(const WideString& folder, const WideString& name) {
    const size_t length = folder.GetLength();
    if (length > 0 && (folder[length - 1] == kPathSeparator || folder[length - 1] == u'/'))
        return folder + name;
    return folder + WideString(&kPathSeparator, 1) + name;
}

const char kCannotWriteOutput[] =
    "cannot be written (folder missing or read-only, disk full, or 2 GiB reached)";

// Why no temporary file could be made beside an output.
std::string CannotCreateBeside(const CFileException& error) {
    if (error.m_cause == CFileException::fileNotFound || error.m_cause == CFileException::badPath) {
        return "cannot be written (its folder does not exist)";
    }
    return "cannot be written (no new file can be made in its folder: " + CauseText(error.m_cause) + ")";
}

std::string SameNameProblem(int32_t earlier) {
    return "entry " + std::to_string(earlier) + " has the same name; extracting both would keep only one";
}

}  // namespace

// Overall progress of a run over several entries, fed by the package callbacks.
struct Packer::Progress {
    ProgressBar bar;
    uint64_t total = 0;   // sum of the weights of all entries
    uint64_t done = 0;    // weights of the finished entries
    uint64_t weight = 0;  // weight of the current entry
    std::string item;
    int32_t ended = 0;           // entries that reached SFX_EVENT_END
    const char* step = nullptr;  // with -v: each entry is noted as this step

    explicit Progress(bool enabled) : bar(enabled) {}
    void Begin(uint64_t entryWeight, const std::string& name) {
        weight = entryWeight;
        item = name;
        if (step != nullptr)
            bar.Note(std::string(step) + " " + name + " (" + std::to_string(entryWeight) + " bytes)");
        bar.Show(done, total, item);
    }
    void Percent(int32_t percent) {
        bar.Show(done + weight * static_cast<uint64_t>(percent) / 100, total, item);
    }
    void End() {
        done += weight;
        weight = 0;
        ++ended;
        bar.Show(done, total, item);
    }
};

namespace {

using Progress = Packer::Progress;

void OnCreateEvent(int32_t event, void* data, uintptr_t userData) {
    Progress* progress = reinterpret_cast<Progress*>(userData);
    if (event == SFX_EVENT_PROGRESS) {
        progress->Percent(*static_cast<int32_t*>(data));
    } else if (event == SFX_EVENT_END) {
        progress->End();
    }
}

void OnExtractEvent(int32_t event, void* data, uintptr_t userData) {
    if (event == SFX_EVENT_PROGRESS)
        reinterpret_cast<Progress*>(userData)->Percent(*static_cast<int32_t*>(data));
}

std::string Ratio(uint32_t compressed, uint32_t size) {
    if (size == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * compressed / size);
    return text;
}

}  // namespace

int Packer::Run() {
    using Command = PackerOptions::Command;
    switch (m_options.command) {
        case Command::kHelp:
            PrintOut(HelpText());
            return kExitOk;
        case Command::kVersion:
            PrintOut("sfxpack " SFXPACK_VERSION "\n");
            return kExitOk;
        case Command::kCreate:
            return Create();
        case Command::kList:
            return List();
        case Command::kExtract:
            return Extract();
        case Command::kVerify:
            return Verify();
        case Command::kInfo:
            return Describe(true);
        default:
            return kExitUsage;
    }
}

int Packer::Create() {
    SelfExtractor writer{WideString()};
    uint64_t totalSize = 0;
    int status = CheckCreateInputs(writer, &totalSize);
    if (status != kExitOk) return status;
    // Written under a temporary name and moved into place only once it has been
    // read back, so a failure never leaves a partial or unreadable OUT.
    TemporaryFile output(m_options.output);
    status = WriteTemporary(writer, totalSize, output);
    if (status == kExitOk) status = ReadBack(writer, output.GetPath());
    if (status == kExitOk) status = Publish(output);
    if (status == kExitOk && !m_options.quiet) {
        PrintOut(Printable(m_options.output) + ": " + std::to_string(writer.m_entryCount) + " entr" +
                 (writer.m_entryCount == 1 ? "y" : "ies") + ", " + std::to_string(totalSize) +
                 " bytes packed\n");
        PrintProducts(m_options.files);
    }
    return status;
}

int Packer::CheckCreateInputs(SelfExtractor& writer, uint64_t* totalSize) {
    const PackerOptions& o = m_options;
    if (!o.stub.IsEmpty()) {
        const std::string why = WhyUnreadable(o.stub);
        if (!why.empty()) {
            PrintError(o.stub, why);
            return kExitCannotRead;
        }
        if (InspectStub(o.stub) == StubSignature::kSigned && !o.allowSignedStub) {
            PrintError(
                o.stub,
                "already signed (it has a certificate table); appending would break the signature. "
                "Pack an unsigned stub and sign the installer afterwards, or pass --allow-signed-stub");
            return kExitRefused;
        }
        if (SameFile(o.stub, o.output)) {
            PrintError(o.output, "is the stub itself; choose another output");
            return kExitUsage;
        }
    }
    if (o.files.size() > static_cast<size_t>(kMaxEntries)) {
        PrintError(o.output, "too many files (" + std::to_string(o.files.size()) + "; at most 256)");
        return kExitRefused;
    }
    if (IsDirectory(o.output)) {
        PrintError(o.output, "is a folder");
        return kExitCannotWrite;
    }
    std::vector<WideString> names;
    for (const WideString& file : o.files) {
        const WideString name = BaseName(file);
        if (!IsValidEntryName(name)) {
            PrintError(file, NameProblem(name));
            return kExitRefused;
        }
        bool taken = false;
        for (const WideString& earlier : names) taken = taken || SameEntryName(earlier, name);
        names.push_back(name);
        if (taken) {
            PrintError(file, "a file named '" + Printable(name) + "' is already in the package");
            return kExitRefused;
        }
        if (SameFile(file, o.output)) {
            PrintError(o.output, "is also an input file; choose another output");
            return kExitUsage;
        }
        const std::string why = WhyUnreadable(file);
        if (!why.empty()) {
            PrintError(file, why);
            return kExitCannotRead;
        }
        if (!writer.AddFile(file)) {
            // Readable and well named: only the size is left to refuse.
            PrintError(file, "too large (a package must stay below 2 GiB) or not a regular file");
            return kExitRefused;
        }
        *totalSize += writer.m_entries[writer.m_entryCount - 1].size;
    }
    return kExitOk;
}

int Packer::WriteTemporary(SelfExtractor& writer, uint64_t totalSize, TemporaryFile& output) {
    const PackerOptions& o = m_options;
    CFileException error;
    if (!output.Create(&error)) {
        PrintError(o.output, CannotCreateBeside(error));
        return kExitCannotWrite;
    }
    if (!o.stub.IsEmpty()) {
        const int status = CopyStub(output.File());
        if (status != kExitOk) return status;
    }
    Progress progress(StderrIsTerminal() && !o.quiet);
    progress.step = o.verbose ? "packing" : nullptr;
    progress.total = totalSize;
    // The weight of the entry being written is its size; set before its BEGIN.
    struct Weighted {
        SelfExtractor* writer;
        Progress* progress;
    };
    Weighted weighted{&writer, &progress};
    auto callback = [](int32_t event, void* data, uintptr_t userData) {
        Weighted* w = reinterpret_cast<Weighted*>(userData);
        if (event == SFX_EVENT_BEGIN) {
            w->progress->Begin(w->writer->m_entries[w->progress->ended].size,
                               Printable(*static_cast<WideString*>(data)));
        } else {
            OnCreateEvent(event, data, reinterpret_cast<uintptr_t>(w->progress));
        }
    };
    int32_t result = writer.WritePackageInto(output.File(), callback, reinterpret_cast<uintptr_t>(&weighted));
    if (result == SFX_OK && !output.Close()) result = SFX_ERR_WRITE;
    progress.bar.Finish();
    const int32_t failed = progress.ended;  // the entry being written when a source failed
    switch (result) {
        case SFX_OK:
            return kExitOk;
        case SFX_ERR_OPEN_SOURCE:
            PrintError(writer.m_entries[failed < writer.m_entryCount ? failed : 0].sourcePath,
                       "cannot be read, or changed while it was packed");
            return kExitCannotRead;
        case SFX_ERR_WRITE:
            PrintError(o.output, kCannotWriteOutput);
            return kExitCannotWrite;
        default:
            PrintError(o.output, "not written (result " + std::to_string(result) + ")");
            return kExitCannotWrite;
    }
}

int Packer::CopyStub(CFile& output) {
    CFile stub;
    CFileException error;
    if (!stub.Open(m_options.stub.c_str(), CFile::accessRead | CFile::shareAllowAll | CFile::noInherit,
                   &error)) {
        PrintError(m_options.stub, CauseText(error.m_cause));
        return kExitCannotRead;
    }
    std::vector<uint8_t> buffer(1 << 16);
    bool reading = true;
    try {
        for (;;) {
            reading = true;
            const uint32_t got = stub.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
            if (got == 0) return kExitOk;
            reading = false;
            output.Write(buffer.data(), got);
        }
    } catch (CFileException* thrown) {
        std::unique_ptr<CFileException> owner(thrown);
        if (reading) {
            PrintError(m_options.stub, "cannot be read (" + CauseText(thrown->m_cause) + ")");
            return kExitCannotRead;
        }
        PrintError(m_options.output, kCannotWriteOutput);
        return kExitCannotWrite;
    }
}

int Packer::ReadBack(const SelfExtractor& writer, const WideString& path) {
    // The installer finds its package by the marker alone: make sure it will.
    if (m_options.verbose) PrintNote("reading back " + Printable(path));
    SelfExtractor reader(path);
    bool same = reader.ReadTableOfContents(path) == SFX_OK && reader.m_entryCount == writer.m_entryCount;
    for (int32_t i = 0; same && i < writer.m_entryCount; ++i) {
        const PackageEntry& w = writer.m_entries[i];
        const PackageEntry& r = reader.m_entries[i];
        same = w.name == r.name && w.size == r.size && w.compressedSize == r.compressedSize &&
               w.offset == r.offset;
    }
    if (same) return kExitOk;
    PrintError(m_options.output,
               "the package would not be found again by the installer (a package file under 512 bytes, "
               "or the marker occurs in the data); add --stub or more data");
    return kExitRefused;
}

int Packer::Publish(TemporaryFile& output) {
    if (m_options.verbose) PrintNote("moving it into place as " + Printable(m_options.output));
    if (output.Publish()) return kExitOk;
    PrintError(m_options.output, "cannot be replaced");
    return kExitCannotWrite;
}

int Packer::List() {
    if (m_options.json) return Describe(false);
    SelfExtractor reader(m_options.package);
    const int status = OpenPackage(reader, m_options.package);
    if (status != kExitOk) return status;
    PrintOut("index        size  compressed   ratio      offset  name\n");
    for (int32_t i = 0; i < reader.m_entryCount; ++i) {
        const PackageEntry& e = reader.m_entries[i];
        char line[128];
        std::snprintf(line, sizeof line, "%5d  %10u  %10u  %6s  %10u  ", static_cast<int>(i), e.size,
                      e.compressedSize, Ratio(e.compressedSize, e.size).c_str(), e.offset);
        std::string text = line + Printable(e.name);
        if (!IsValidEntryName(e.name)) text += "  (name refused at extraction)";
        PrintOut(text + "\n");
    }
    return kExitOk;
}

int Packer::Extract() {
    const PackerOptions& o = m_options;
    SelfExtractor reader(o.package);
    const int status = OpenPackage(reader, o.package);
    if (status != kExitOk) return status;
    const WideString folder = o.directory.IsEmpty() ? WideString(u".") : o.directory;
    if (!IsDirectory(folder)) {
        PrintError(folder, "no such folder");
        return kExitCannotWrite;
    }

    std::vector<int32_t> selected;
    if (o.files.empty()) {
        for (int32_t i = 0; i < reader.m_entryCount; ++i) selected.push_back(i);
    }
    for (const WideString& want : o.files) {
        int32_t found = -1;
        for (int32_t i = 0; i < reader.m_entryCount && found < 0; ++i) {
            if (reader.m_entries[i].name == want) found = i;
        }
        if (found < 0) {
            const std::string digits = Utf8FromWide(want);
            if (!digits.empty() && digits.size() < 4 &&
                digits.find_first_not_of("0123456789") == std::string::npos &&
                std::stoi(digits) < reader.m_entryCount) {
                found = std::stoi(digits);
            }
        }
        if (found < 0) {
            PrintError(o.package, "no entry named or numbered '" + Printable(want) + "'");
            return kExitUsage;
        }
        selected.push_back(found);
    }

    Progress progress(StderrIsTerminal() && !o.quiet);
    progress.step = o.verbose ? "extracting" : nullptr;
    for (int32_t index : selected) progress.total += reader.m_entries[index].compressedSize;
    reader.m_callback = &OnExtractEvent;
    reader.m_callbackData = reinterpret_cast<uintptr_t>(&progress);
    int worst = kExitOk;
    for (size_t k = 0; k < selected.size(); ++k) {
        const int32_t index = selected[k];
        const int32_t earlier = EarlierEntryOfSameName(reader, selected, k, index);
        int failure = kExitDamaged;
        if (earlier >= 0) {
            progress.bar.Finish();
            PrintError(o.package, EntryText(reader, index) + SameNameProblem(earlier) + "; not extracted");
        } else {
            failure = ExtractOne(reader, index, folder, progress);
        }
        if (worst == kExitOk) worst = failure;
    }
    return worst;
}

int Packer::ExtractOne(SelfExtractor& reader, int32_t index, const WideString& folder, Progress& progress) {
    const PackerOptions& o = m_options;
    const PackageEntry& e = reader.m_entries[index];
    if (!IsValidEntryName(e.name)) {
        progress.bar.Finish();
        PrintError(o.package, EntryText(reader, index) + NameProblem(e.name) + "; not extracted");
        return kExitDamaged;
    }
    const WideString target = InFolder(folder, e.name);
    // Replacing the package while it is read would destroy it.
    if (IsNameOf(target, o.package)) {
        progress.bar.Finish();
        PrintError(target, "is the package being extracted; not replaced (extract into another folder)");
        return kExitCannotWrite;
    }
    // Each entry is inflated into a file of its own and takes its name only when it
    // is whole: a failure leaves what was at the name as it was.
    TemporaryFile output(target);
    CFileException error;
    if (!output.Create(&error)) {
        progress.bar.Finish();
        PrintError(target, CannotCreateBeside(error));
        return kExitCannotWrite;
    }
    progress.Begin(e.compressedSize, Printable(e.name));
    int32_t result = reader.ExtractEntryInto(index, output.File());
    if (result == SFX_OK && !output.Close()) result = SFX_ERR_WRITE;
    progress.End();
    switch (result) {
        case SFX_OK:
            if (output.Publish()) return kExitOk;
            progress.bar.Finish();
            PrintError(target, "cannot be replaced (a folder or a protected file has that name)");
            return kExitCannotWrite;
        case SFX_ERR_DAMAGED:
            progress.bar.Finish();
            PrintError(o.package,
                       EntryText(reader, index) + "damaged data (stream, checksum or size); not extracted");
            return kExitDamaged;
        case SFX_ERR_OPEN_SOURCE:
            progress.bar.Finish();
            PrintError(o.package, "cannot be read");
            return kExitCannotRead;
        default:
            progress.bar.Finish();
            PrintError(target, "cannot be written (disk full?)");
            return kExitCannotWrite;
    }
}

int Packer::Verify() {
    SelfExtractor reader(m_options.package);
    const int status = OpenPackage(reader, m_options.package);
    if (status != kExitOk) return status;
    int worst = kExitOk;
    int32_t good = 0;
    std::vector<int32_t> all;
    for (int32_t i = 0; i < reader.m_entryCount; ++i) all.push_back(i);
    for (int32_t i = 0; i < reader.m_entryCount; ++i) {
        const PackageEntry& e = reader.m_entries[i];
        if (m_options.verbose) PrintNote("verifying " + Printable(e.name));
        const int32_t result = reader.VerifyEntry(i);
        const int32_t earlier = EarlierEntryOfSameName(reader, all, static_cast<size_t>(i), i);
        std::string problem;
        int failure = kExitOk;
        if (earlier >= 0 && IsValidEntryName(e.name)) {
            problem = SameNameProblem(earlier);
            failure = kExitDamaged;
        } else if (result == SFX_OK) {
            ++good;
            continue;
        } else if (!IsValidEntryName(e.name)) {
            problem = NameProblem(e.name);
            failure = kExitDamaged;
        } else if (result == SFX_ERR_OPEN_SOURCE) {
            problem = "the package cannot be read";
            failure = kExitCannotRead;
        } else {
            problem = "damaged data (stream error, checksum mismatch, cut short or wrong size)";
            failure = kExitDamaged;
        }
        PrintError(m_options.package,
                   "entry " + std::to_string(i) + " (" + Printable(e.name) + "): " + problem);
        if (worst == kExitOk) worst = failure;
    }
    if (!m_options.quiet) {
        PrintOut(Printable(m_options.package) + ": " + std::to_string(good) + " of " +
                 std::to_string(reader.m_entryCount) + " entries verified\n");
    }
    return worst;
}

int Packer::Describe(bool inspect) {
    SelfExtractor reader(m_options.package);
    const int status = OpenPackage(reader, m_options.package);
    if (status != kExitOk) return status;
    return ShowPackageInfo(m_options, reader, inspect);
}
