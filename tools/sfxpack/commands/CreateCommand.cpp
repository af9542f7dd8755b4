// sfxpack create: its inputs looked at once and checked, the temporary output, its
// read-back and its final name, and what was packed.
#include <string>
#include <vector>

#include "package/SelfExtractor.h"
#include "package/writer/ParallelEntryEncoder.h"
#include "package/writer/WorkerThreads.h"
#include "package/writer/ZopfliChunkDeflater.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/Figures.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/cli/PackerProgress.h"
#include "tools/sfxpack/commands/Commands.h"
#include "tools/sfxpack/commands/CreateInputs.h"
#include "tools/sfxpack/commands/StubLocation.h"
#include "tools/sfxpack/files/FileSystem.h"
#include "tools/sfxpack/files/TemporaryFile.h"
#include "tools/sfxpack/formats/InstallerCheck.h"

namespace {

int CheckInputs(const PackerOptions& o, SelfExtractor& writer, CreateInputs& inputs) {
    if (!o.stub.IsEmpty()) {
        const int status = inputs.LookAtStub(o);
        if (status != kExitOk) return status;
    }
    if (o.files.size() > static_cast<size_t>(kMaxEntries)) {
        PrintError(o.output, "too many files (" + std::to_string(o.files.size()) + "; at most " +
                                 std::to_string(kMaxEntries) + ")");
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
        // Readable and well named: only the size is left to refuse.
        if (!writer.AddNamedFile(looked.path, looked.name, looked.size))
            return ReportResult(SFX_ERR_WRITE, FileFailure::Reached(FileFailure::kTooLong), file);
    }
    // Every file is readable by now; refuse an installer that could not work before
    // anything is written, and take the product line from what is read here.
    inputs.ReadProducts();
    return CheckInstaller(o, inputs);
}

int WriteTemporary(const PackerOptions& o, SelfExtractor& writer, CreateInputs& inputs,
                   TemporaryFile& output) {
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
    return ReportResult(result, failure, o.output);
}

int ReadBack(const PackerOptions& o, const SelfExtractor& writer, const WideString& path) {
    // The installer finds its package by the marker alone: make sure it will.
    if (o.verbose) PrintNote("reading back " + Printable(path));
    SelfExtractor reader(path);
    const PackageResult result = reader.ReadTableOfContents(path);
    if (reader.LastFailure().Failed()) {
        // The temporary file is the output the user named.
        FileFailure failure = reader.LastFailure();
        failure.file = o.output;
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
    PrintError(o.output,
               "the package would not be found again by the installer (a package file under 512 bytes, "
               "or the marker occurs in the data); add --stub or more data");
    return kExitRefused;
}

int Publish(const PackerOptions& o, TemporaryFile& output) {
    if (o.verbose) PrintNote("moving it into place as " + Printable(o.output));
    if (output.Publish()) return kExitOk;
    PrintError(o.output, "cannot be replaced");
    return kExitCannotWrite;
}

// What was packed and what was written, in the figures every command uses.
void PrintSummary(const PackerOptions& o, const SelfExtractor& writer, const CreateInputs& inputs) {
    uint64_t packed = 0;
    for (int32_t i = 0; i < writer.GetEntryCount(); ++i) packed += writer.EntryAt(i).compressedSize;
    const int32_t count = writer.GetEntryCount();
    uint64_t written = 0;
    SizeOf(o.output, &written);
    const uint64_t stub = o.stub.IsEmpty() ? 0 : inputs.stub.size;
    PrintOut("packed:     " + std::to_string(count) + (count == 1 ? " entry, " : " entries, ") +
             Bytes(inputs.TotalSize()) + " into " + Bytes(packed) + " (" + Ratio(packed, inputs.TotalSize()) +
             ")\n");
    PrintOut("wrote:      " + Printable(o.output) + ", " + Bytes(written) +
             (o.stub.IsEmpty() ? " (a package without a stub)"
                               : " (stub " + Bytes(stub) + ", package " + Bytes(written - stub) + ")") +
             "\n");
    inputs.PrintProducts();
}

}  // namespace

int RunCreate(const PackerOptions& given) {
    PackerOptions o = given;
    int status = UseDefaultStub(&o);
    if (status != kExitOk) return status;
    SelfExtractor writer{WideString()};
    CreateInputs inputs;
    status = CheckInputs(o, writer, inputs);
    if (status != kExitOk) return status;
    // Written under a temporary name and moved into place only once it has been
    // read back, so a failure never leaves a partial or unreadable OUT.
    TemporaryFile output(o.output);
    status = WriteTemporary(o, writer, inputs, output);
    if (status == kExitOk) status = ReadBack(o, writer, output.GetPath());
    if (status == kExitOk) status = Publish(o, output);
    if (status == kExitOk && !o.quiet) PrintSummary(o, writer, inputs);
    return status;
}
