#include "tools/sfxpack/commands/OpenPackage.h"

#include "file/CFile.h"
#include "package/SelfExtractor.h"
#include "package/reader/TableOfContents.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/files/FileSystem.h"
#include "tools/sfxpack/formats/FileKind.h"

namespace {

// The status and words of a table that could not be read from the open file.
int Problem(const SelfExtractor& reader, PackageResult result, CFile& file, std::string* words) {
    const WideString& path = reader.GetPackagePath();
    uint64_t size = 0;
    // No package found: a download that stopped early is told apart from a file that never held one.
    if (result == SFX_ERR_BAD_PACKAGE && !reader.LastFailure().Failed() && SizeOf(path, &size)) {
        const FileKind kind = FileKind::WithoutPackage(file, size);
        if (kind.kind == FileKind::kCutShort) {
            *words = kind.words;
            return kExitNotPackage;
        }
    }
    *words = ResultWords(result, reader.LastFailure());
    return ExitStatusOf(result, reader.LastFailure());
}

}  // namespace

int OpenPackage(SelfExtractor& reader, const WideString& path, TocLocation* location, std::string* problem) {
    CFile file;
    std::string words;
    int status = kExitCannotRead;
    if (OpenForReading(path, file, &words)) {
        reader.SetPackagePath(path);
        const PackageResult result = reader.ReadTableOfContents(path, location);
        status = result == SFX_OK ? kExitOk : Problem(reader, result, file, &words);
        file.Abort();
    }
    if (status == kExitOk) return status;
    PrintError(path, words);
    if (problem != nullptr) *problem = words;
    return status;
}
