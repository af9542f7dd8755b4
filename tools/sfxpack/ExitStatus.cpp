#include "tools/sfxpack/ExitStatus.h"

#include "base/WideString.h"
#include "tools/sfxpack/Console.h"

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
    {SFX_ERR_COPY_STUB, kExitCannotRead, "cannot be read, or changed while it was read"},
    {SFX_ERR_OPEN_SOURCE, kExitCannotRead, "cannot be read, or changed while it was read"},
    {SFX_ERR_DAMAGED, kExitDamaged,
     "damaged data (stream error, checksum mismatch, cut short or wrong size)"},
    {SFX_ERR_WRITE, kExitCannotWrite,
     "cannot be written (folder missing or read-only, disk full, or 2 GiB reached)"},
};

const Meaning& MeaningOf(PackageResult result) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.result == result) return meaning;
    }
    // Not a result any operation gives: as bad as a failed write.
    return kMeanings[sizeof kMeanings / sizeof kMeanings[0] - 1];
}

}  // namespace

int ExitStatusOf(PackageResult result) {
    return MeaningOf(result).status;
}

const char* ResultWords(PackageResult result) {
    return MeaningOf(result).words;
}

int ReportResult(PackageResult result, const WideString& subject, const std::string& before,
                 const char* after) {
    const Meaning& meaning = MeaningOf(result);
    if (meaning.status != kExitOk) PrintError(subject, before + meaning.words + after);
    return meaning.status;
}
