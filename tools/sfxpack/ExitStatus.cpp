#include "tools/sfxpack/ExitStatus.h"

#include "base/WideString.h"
#include "tools/sfxpack/Console.h"
#include "tools/sfxpack/SystemText.h"

namespace {

struct Meaning {
    PackageResult result;
    int status;
    const char* words;
};

const Meaning kMeanings[] = {
    {SFX_OK, kExitOk, ""},
    {SFX_WRITE_DONE, kExitOk, ""},
    {SFX_ERR_OPEN_PACKAGE, kExitCannotRead, "cannot be opened"},
    {SFX_ERR_BAD_PACKAGE, kExitNotPackage, "not a package (no valid table of contents found)"},
    {SFX_ERR_NO_ENTRIES, kExitNotPackage, "the package holds no entries"},
    // A read the system refused comes with its failure; what is left is a length
    // that is not what it was when the file was looked at.
    {SFX_ERR_COPY_STUB, kExitCannotRead, "changed while it was read"},
    {SFX_ERR_OPEN_SOURCE, kExitCannotRead, "changed while it was read"},
    {SFX_ERR_DAMAGED, kExitDamaged,
     "damaged data (stream error, checksum mismatch, cut short or wrong size)"},
    // Likewise a write the system refused; what is left is our limit, or memory.
    {SFX_ERR_WRITE, kExitCannotWrite,
     "cannot be written: a package must stay below 2 GiB, or memory ran out"},
};

const Meaning& MeaningOf(PackageResult result) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.result == result) return meaning;
    }
    // Not a result any operation gives: as bad as a failed write.
    return kMeanings[sizeof kMeanings / sizeof kMeanings[0] - 1];
}

}  // namespace

int ExitStatusOf(PackageResult result, const FileFailure& failure) {
    if (failure.Failed()) return failure.side == FileFailure::kRead ? kExitCannotRead : kExitCannotWrite;
    return MeaningOf(result).status;
}

std::string ResultWords(PackageResult result, const FileFailure& failure) {
    if (!failure.Failed()) return MeaningOf(result).words;
    return std::string(failure.side == FileFailure::kRead ? "cannot be read: " : "cannot be written: ") +
           SystemReason(failure.cause, failure.osError);
}

int ReportResult(PackageResult result, const FileFailure& failure, const WideString& subject,
                 const std::string& before, const char* after) {
    const int status = ExitStatusOf(result, failure);
    if (status == kExitOk) return status;
    const bool aboutSubject = failure.file.IsEmpty() || failure.file == subject;
    // The system's reason, where there is one, ends the line.
    PrintError(aboutSubject ? subject : failure.file,
               (aboutSubject ? before : "") + ResultWords(result, failure) + (failure.Failed() ? "" : after));
    return status;
}

int ReportFailure(const FileFailure& failure) {
    return ReportResult(SFX_OK, failure, failure.file);
}
