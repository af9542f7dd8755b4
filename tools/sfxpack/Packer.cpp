#include "tools/sfxpack/Packer.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/Utf8.h"
#include "package/EntryName.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/Console.h"
#include "tools/sfxpack/ExitStatus.h"
#include "tools/sfxpack/InstallerCheck.h"
#include "tools/sfxpack/PackageInfo.h"
#include "tools/sfxpack/PackerFiles.h"
#include "tools/sfxpack/PeCertificate.h"

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
        case SFX_OK: return kExitOk;
        case SFX_ERR_OPEN_PACKAGE: {
            const std::string why = WhyUnreadable(path);
            PrintError(path, why.empty() ? "cannot be opened" : why);
            return kExitCannotRead;
        }
        case SFX_ERR_NO_ENTRIES: PrintError(path, "the package holds no entries"); return kExitNotPackage;
        default: PrintError(path, "not a package (no valid table of contents found)"); return kExitNotPackage;
    }
}

std::string NameProblem(const WideString& name) {
    if (name.IsEmpty()) return "the name is empty";
    if (name.GetLength() > static_cast<size_t>(kMaxNameLength)) return "the name is longer than 255 characters";
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

std::string SameNameProblem(int32_t earlier) {
    return "entry " + std::to_string(earlier) + " has the same name; extracting both would keep only one";
}

// Overall progress of a run over several entries, fed by the package callbacks.
struct Progress {
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
        if (step != nullptr) bar.Note(std::string(step) + " " + name + " (" + std::to_string(entryWeight) + " bytes)");
        bar.Show(done, total, item);
    }
    void Percent(int32_t percent) { bar.Show(done + weight * static_cast<uint64_t>(percent) / 100, total, item); }
    void End() {
        done += weight;
        weight = 0;
        ++ended;
        bar.Show(done, total, item);
    }
};

void OnCreateEvent(PackageEvent event, void* data, uintptr_t userData) {
    Progress* progress = reinterpret_cast<Progress*>(userData);
    if (event == SFX_EVENT_PROGRESS) {
        progress->Percent(*static_cast<int32_t*>(data));
    } else if (event == SFX_EVENT_END) {
        progress->End();
    }
}

void OnExtractEvent(PackageEvent event, void* data, uintptr_t userData) {
    if (event == SFX_EVENT_PROGRESS) reinterpret_cast<Progress*>(userData)->Percent(*static_cast<int32_t*>(data));
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
        case Command::kHelp: PrintOut(HelpText()); return kExitOk;
        case Command::kVersion: PrintOut("sfxpack " SFXPACK_VERSION "\n"); return kExitOk;
        case Command::kCreate: return Create();
        case Command::kList: return List();
        case Command::kExtract: return Extract();
        case Command::kVerify: return Verify();
        case Command::kInfo: return Describe(true);
        default: return kExitUsage;
    }
}

int Packer::Create() {
    const PackerOptions& o = m_options;
    const bool withStub = !o.stub.IsEmpty();
    if (withStub) {
        const std::string why = WhyUnreadable(o.stub);
        if (!why.empty()) {
            PrintError(o.stub, why);
            return kExitCannotRead;
        }
        if (InspectStub(o.stub) == StubSignature::kSigned && !o.allowSignedStub) {
            PrintError(o.stub,
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
    // Refuse an installer that could not work before anything is read or written.
    const int checked = CheckInstaller(o);
    if (checked != kExitOk) return checked;
    if (IsDirectory(o.output)) {
        PrintError(o.output, "is a folder");
        return kExitCannotWrite;
    }

    SelfExtractor writer{WideString()};
    std::vector<WideString> names;
    uint64_t totalSize = 0;
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
        totalSize += writer.m_entries[writer.m_entryCount - 1].size;
    }

    // Written under a temporary name and moved into place only once it has been
    // read back, so a failure never leaves a partial or unreadable OUT.
    const WideString temporary = TemporaryBeside(o.output);
    Progress progress(StderrIsTerminal() && !o.quiet);
    progress.step = o.verbose ? "packing" : nullptr;
    progress.total = totalSize;
    // The weight of the entry being written is its size; set before its BEGIN.
    struct Weighted {
        SelfExtractor* writer;
        Progress* progress;
    };
    PackageResult result;
    {
        Weighted weighted{&writer, &progress};
        auto callback = [](PackageEvent event, void* data, uintptr_t userData) {
            Weighted* w = reinterpret_cast<Weighted*>(userData);
            if (event == SFX_EVENT_BEGIN) {
                w->progress->Begin(w->writer->m_entries[w->progress->ended].size,
                                   Printable(*static_cast<WideString*>(data)));
            } else {
                OnCreateEvent(event, data, reinterpret_cast<uintptr_t>(w->progress));
            }
        };
        const uintptr_t userData = reinterpret_cast<uintptr_t>(&weighted);
        result = withStub ? writer.CreatePackage(o.stub, temporary, callback, userData)
                          : writer.WritePackage(temporary, callback, userData);
    }
    progress.bar.Finish();
    const int32_t failed = progress.ended;  // the entry being written when a source failed
    switch (result) {
        case SFX_OK: break;
        case SFX_ERR_COPY_STUB: PrintError(o.output, "cannot copy the stub there"); return kExitCannotWrite;
        case SFX_ERR_OPEN_SOURCE:
            PrintError(writer.m_entries[failed < writer.m_entryCount ? failed : 0].sourcePath,
                       "cannot be read, or changed while it was packed");
            return kExitCannotRead;
        case SFX_ERR_WRITE:
            PrintError(o.output, "cannot be written (folder missing or read-only, disk full, or 2 GiB reached)");
            return kExitCannotWrite;
        default: PrintError(o.output, "not written (result " + std::to_string(result) + ")"); return kExitCannotWrite;
    }

    // The installer finds its package by the marker alone: make sure it will.
    if (o.verbose) PrintNote("reading back " + Printable(temporary));
    SelfExtractor reader(temporary);
    bool same = reader.ReadTableOfContents(temporary) == SFX_OK && reader.m_entryCount == writer.m_entryCount;
    for (int32_t i = 0; same && i < writer.m_entryCount; ++i) {
        const PackageEntry& w = writer.m_entries[i];
        const PackageEntry& r = reader.m_entries[i];
        same = w.name == r.name && w.size == r.size && w.compressedSize == r.compressedSize && w.offset == r.offset;
    }
    if (!same) {
        RemoveFileQuietly(temporary);
        PrintError(o.output,
                   "the package would not be found again by the installer (a package file under 512 bytes, "
                   "or the marker occurs in the data); add --stub or more data");
        return kExitRefused;
    }
    if (o.verbose) PrintNote("moving it into place as " + Printable(o.output));
    if (!MoveIntoPlace(temporary, o.output)) {
        RemoveFileQuietly(temporary);
        PrintError(o.output, "cannot be replaced");
        return kExitCannotWrite;
    }
    if (!o.quiet) {
        PrintOut(Printable(o.output) + ": " + std::to_string(writer.m_entryCount) + " entr" +
                 (writer.m_entryCount == 1 ? "y" : "ies") + ", " + std::to_string(totalSize) + " bytes packed\n");
        PrintProducts(o.files);
    }
    return kExitOk;
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
            if (!digits.empty() && digits.size() < 4 && digits.find_first_not_of("0123456789") == std::string::npos &&
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
        const PackageEntry& e = reader.m_entries[index];
        const int32_t earlier = EarlierEntryOfSameName(reader, selected, k, index);
        if (earlier >= 0) {
            progress.bar.Finish();
            PrintError(o.package, "entry " + std::to_string(index) + " (" + Printable(e.name) +
                                      "): " + SameNameProblem(earlier) + "; not extracted");
            if (worst == kExitOk) worst = kExitDamaged;
            continue;
        }
        progress.Begin(e.compressedSize, Printable(e.name));
        const PackageResult result = reader.ExtractEntry(index, folder, false);
        progress.End();
        int failure = kExitOk;
        switch (result) {
            case SFX_OK: break;
            case SFX_ERR_DAMAGED:
                progress.bar.Finish();
                PrintError(o.package, "entry " + std::to_string(index) + " (" + Printable(e.name) + "): " +
                                          (IsValidEntryName(e.name) ? "damaged data (stream, checksum or size); not extracted"
                                                                    : NameProblem(e.name) + "; not extracted"));
                failure = kExitDamaged;
                break;
            case SFX_ERR_OPEN_SOURCE:
                progress.bar.Finish();
                PrintError(o.package, "cannot be read");
                failure = kExitCannotRead;
                break;
            default:
                progress.bar.Finish();
                PrintError(folder + WideString(&kPathSeparator, 1) + e.name, "cannot be written");
                failure = kExitCannotWrite;
                break;
        }
        if (worst == kExitOk) worst = failure;
    }
    return worst;
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
        const PackageResult result = reader.VerifyEntry(i);
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
        PrintError(m_options.package, "entry " + std::to_string(i) + " (" + Printable(e.name) + "): " + problem);
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
