// sfxpack create: its inputs looked at once and checked, the temporary output, its
// read-back and its final name.
#include <string>
#include <vector>

#include "package/SelfExtractor.h"
#include "package/writer/ParallelEntryEncoder.h"
#include "package/writer/WorkerThreads.h"
#include "package/writer/ZopfliChunkDeflater.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerProgress.h"
#include "tools/sfxpack/commands/CreateInputs.h"
#include "tools/sfxpack/commands/Packer.h"
#include "tools/sfxpack/files/FileSystem.h"
#include "tools/sfxpack/files/TemporaryFile.h"
#include "tools/sfxpack/formats/InstallerCheck.h"

int Packer::Create() {
    SelfExtractor writer{WideString()};
    CreateInputs inputs;
    int status = CheckCreateInputs(writer, inputs);
    if (status != kExitOk) return status;
    // Written under a temporary name and moved into place only once it has been
    // read back, so a failure never leaves a partial or unreadable OUT.
    TemporaryFile output(m_options.output);
    status = WriteTemporary(writer, inputs, output);
    if (status == kExitOk) status = ReadBack(writer, output.GetPath());
    if (status == kExitOk) status = Publish(output);
    if (status == kExitOk && !m_options.quiet) {
        PrintOut(Printable(m_options.output) + ": " + std::to_string(writer.GetEntryCount()) + " entr" +
                 (writer.GetEntryCount() == 1 ? "y" : "ies") + ", " + std::to_string(inputs.TotalSize()) +
                 " bytes packed\n");
        inputs.PrintProducts();
    }
    return status;
}

int Packer::CheckCreateInputs(SelfExtractor& writer, CreateInputs& inputs) {
    const PackerOptions& o = m_options;
    if (!o.stub.IsEmpty()) {
        const int status = inputs.LookAtStub(o);
        if (status != kExitOk) return status;
    }
    if (o.files.size() > static_cast<size_t>(kMaxEntries)) {
        PrintError(o.output, "too many files (" + std::to_string(o.files.size()) + "; at most 256)");
        return kExitRefused;
    }
    if (IsDirectory(o.output)) {
        PrintError(o.output, "is a folder");
        return kExitCannotWrite;
    }
    for (const WideString& file : o.files) {
        const int status = inputs.LookAtFile(file, o);
        if (status != kExitOk) return status;
        // Named and measured once, when looked at; the writer takes both as they are.
        const CreateInputs::File& looked = inputs.files.back();
        if (!writer.AddNamedFile(looked.path, looked.name, looked.size)) {
            // Readable and well named: only the size is left to refuse.
            PrintError(file, "too large (a package must stay below 2 GiB)");
            return kExitRefused;
        }
    }
    // Every file is readable by now; refuse an installer that could not work before
    // anything is written, and take the product line from what is read here.
    inputs.ReadProducts();
    return CheckInstaller(o, inputs);
}

int Packer::WriteTemporary(SelfExtractor& writer, CreateInputs& inputs, TemporaryFile& output) {
    const PackerOptions& o = m_options;
    FileFailure failure;
    if (!output.Create(&failure)) return ReportFailure(failure);
    if (!o.stub.IsEmpty()) {
        const PackageResult copied = writer.AppendStub(inputs.stub.file, inputs.stub.size, output.File());
        inputs.stub.file.Abort();
        if (copied != SFX_OK) return ReportResult(copied, writer.LastFailure(), o.output);
    }
    PackerProgress progress(StderrIsTerminal() && !o.quiet, o.verbose ? "packing" : nullptr,
                            inputs.TotalSize());
    // Every stream the same bytes whatever the thread count.
    ParallelEntryEncoder encoder(o.threads > 0 ? o.threads : WorkerThreads::UsableProcessors(), o.level,
                                 o.iterations > 0 ? o.iterations : ZopfliChunkDeflater::kDefaultIterations);
    // Each input is written from the file opened when it was looked at.
    std::vector<CFile*> sources;
    for (CreateInputs::File& file : inputs.files) sources.push_back(&file.file);
    PackageResult result = writer.WritePackageInto(output.File(), &progress, &encoder, sources.data());
    failure = writer.LastFailure();
    if (result == SFX_OK && !output.Close(&failure)) result = SFX_ERR_WRITE;
    progress.Finish();
    return ReportResult(result, failure, o.output);
}

int Packer::ReadBack(const SelfExtractor& writer, const WideString& path) {
    // The installer finds its package by the marker alone: make sure it will.
    if (m_options.verbose) PrintNote("reading back " + Printable(path));
    SelfExtractor reader(path);
    const PackageResult result = reader.ReadTableOfContents(path);
    if (reader.LastFailure().Failed()) {
        // The temporary file is the output the user named.
        FileFailure failure = reader.LastFailure();
        failure.file = m_options.output;
        return ReportFailure(failure);
    }
    bool same = result == SFX_OK && reader.GetEntryCount() == writer.GetEntryCount();
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
