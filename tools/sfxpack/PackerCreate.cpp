// sfxpack create: checks, the temporary output, its read-back and its final name.
#include <memory>
#include <string>
#include <vector>

#include "base/Path.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/EntryName.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/Console.h"
#include "tools/sfxpack/ExitStatus.h"
#include "tools/sfxpack/InstallerCheck.h"
#include "tools/sfxpack/PackageInfo.h"
#include "tools/sfxpack/Packer.h"
#include "tools/sfxpack/PackerFiles.h"
#include "tools/sfxpack/PackerProgress.h"
#include "tools/sfxpack/PackerSupport.h"
#include "tools/sfxpack/PeCertificate.h"
#include "tools/sfxpack/TemporaryFile.h"

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
        PrintOut(Printable(m_options.output) + ": " + std::to_string(writer.GetEntryCount()) + " entr" +
                 (writer.GetEntryCount() == 1 ? "y" : "ies") + ", " + std::to_string(totalSize) +
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
        *totalSize += writer.EntryAt(writer.GetEntryCount() - 1).size;
    }
    // Every file is readable by now; refuse an installer that could not work before
    // anything is written.
    return CheckInstaller(o);
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
    PackerProgress progress(StderrIsTerminal() && !o.quiet);
    progress.step = o.verbose ? "packing" : nullptr;
    progress.total = totalSize;
    // The weight of an entry is its size, looked up by the index its BEGIN names.
    struct Weighted {
        const SelfExtractor* writer;
        PackerProgress* progress;
        int32_t current;  // the entry being written, the one named when its source fails
    };
    Weighted weighted{&writer, &progress, 0};
    auto callback = [](PackageEvent event, void* data, uintptr_t userData) {
        Weighted* w = reinterpret_cast<Weighted*>(userData);
        if (event == SFX_EVENT_BEGIN) {
            const int32_t index = w->writer->IndexOfEventData(data);
            if (index < 0) return;
            w->current = index;
            const PackageEntry& e = w->writer->EntryAt(index);
            w->progress->Begin(e.size, Printable(e.name));
        } else {
            OnCreateEvent(event, data, reinterpret_cast<uintptr_t>(w->progress));
        }
    };
    PackageResult result =
        writer.WritePackageInto(output.File(), callback, reinterpret_cast<uintptr_t>(&weighted));
    if (result == SFX_OK && !output.Close()) result = SFX_ERR_WRITE;
    progress.bar.Finish();
    switch (result) {
        case SFX_OK:
            return kExitOk;
        case SFX_ERR_OPEN_SOURCE:
            PrintError(writer.EntryAt(weighted.current).sourcePath,
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
    bool same =
        reader.ReadTableOfContents(path) == SFX_OK && reader.GetEntryCount() == writer.GetEntryCount();
    for (int32_t i = 0; same && i < writer.GetEntryCount(); ++i) {
        const PackageEntry& w = writer.EntryAt(i);
        const PackageEntry& r = reader.EntryAt(i);
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
