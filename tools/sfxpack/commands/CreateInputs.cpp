#include "tools/sfxpack/commands/CreateInputs.h"

#include "base/Path.h"
#include "package/reader/EntryName.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/NameProblems.h"
#include "tools/sfxpack/files/FileSystem.h"

int CreateInputs::LookAtStub(const PackerOptions& o) {
    stub.path = o.stub;
    std::string why;
    if (!OpenForReading(o.stub, stub.file, &why)) {
        PrintError(o.stub, why);
        return kExitCannotRead;
    }
    FileFailure failure;
    if (!failure.Catch(FileFailure::kRead, o.stub, [&] { stub.size = stub.file.GetLength(); })) {
        return ReportFailure(failure);
    }
    stub.signature = PeImage::Read(stub.file).Signature();
    if (stub.signature == StubSignature::kSigned && !o.allowSignedStub) {
        PrintError(o.stub,
                   "already signed (it has a certificate table); appending would break the signature. "
                   "Pack an unsigned stub and sign the installer afterwards, or pass --allow-signed-stub");
        return kExitRefused;
    }
    if (SameFile(o.stub, o.output)) {
        PrintError(o.output, "is the stub itself; choose another output");
        return kExitUsage;
    }
    return kExitOk;
}

int CreateInputs::LookAtFile(const WideString& path, const PackerOptions& o) {
    const WideString name = BaseName(path);
    if (!IsValidEntryName(name)) {
        PrintError(path, NameProblem(name));
        return kExitRefused;
    }
    for (const File& earlier : files) {
        if (!SameEntryName(earlier.name, name)) continue;
        PrintError(path, "a file named '" + Printable(name) + "' is already in the package");
        return kExitRefused;
    }
    if (SameFile(path, o.output)) {
        PrintError(o.output, "is also an input file; choose another output");
        return kExitUsage;
    }
    File& file = files.emplace_back();
    file.path = path;
    file.name = name;
    std::string why;
    if (!OpenForReading(path, file.file, &why)) {
        PrintError(path, why);
        return kExitCannotRead;
    }
    uint32_t length = 0;
    FileFailure failure;
    if (failure.Catch(FileFailure::kRead, path, [&] { length = file.file.GetLength(); })) {
        file.size = length;
    } else if (failure.cause == CFileException::badSeek) {
        file.size = ~0ull;  // past what a 32-bit seek reaches, so past every limit too
    } else {
        return ReportFailure(failure);
    }
    file.isDatabase = HasDatabaseSignature(file.file);
    // The writer reads it from its start.
    if (!failure.Catch(FileFailure::kRead, path, [&] { file.file.Seek(0, CFile::begin); }))
        return ReportFailure(failure);
    return kExitOk;
}

uint64_t CreateInputs::TotalSize() const {
    uint64_t total = 0;
    for (const File& file : files) total += file.size;
    return total;
}

void CreateInputs::ReadProducts() {
    for (File& file : files) {
        if (file.isDatabase)
            file.productRead = ReadMsiProduct(file.path, &file.product, &file.productProblem);
    }
}

void CreateInputs::PrintProducts() const {
    for (const File& file : files) {
        if (!file.isDatabase) continue;
        if (file.productRead) {
            PrintOut(ProductNote(file.name, file.product) + "\n");
        } else {
            PrintError(file.path, file.productProblem);
        }
    }
}
