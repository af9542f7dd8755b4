#include "tools/sfxpack/cli/ExitStatus.h"

#include "base/WideString.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/HelpFormat.h"
#include "tools/sfxpack/cli/SystemText.h"

namespace {

// Where try (sfxtry's EXIT) ends with a status, its verdict follows "try: " word for word.
const struct {
    ExitStatus status;
    const char* meaning;
} kStatuses[] = {
    {kExitOk, "success; try: installed"},
    {kExitDamaged,
     "an entry is damaged or has a name that cannot be extracted (verify, extract, info); try: installer "
     "failed"},
    {kExitUsage, "bad command line, or a NAME or INDEX that is not in the package; try on Windows"},
    {kExitCannotRead,
     "a package, stub or input file cannot be opened or read (the message names it and ends with the "
     "system's reason), or no stub was found; try: a program it runs is missing (named, with its Debian "
     "package), the Wine session could not start, the installer cannot be confined here (the kernel or "
     "container refuses namespaces; --no-sandbox runs it unconfined), or the installer cannot be read (with "
     "the system's reason)"},
    {kExitNotPackage,
     "no valid package was found in FILE (none at all, or one cut short or damaged at its end), or it holds "
     "no entries; try: package unreadable (the installer could not read its package); try: not an installer "
     "(no Windows program, no package of ours, or cut short: told before Wine starts)"},
    {kExitCannotWrite,
     "an output cannot be created or written (the message names it and ends with the system's reason), or "
     "it would replace the package that extract reads"},
    {kExitRefused,
     "create refused its input: a name the installer cannot extract, more than {files} files, two files "
     "with one name, a package of {limit} or more, a package too small to be found again, a stub that is "
     "already "
     "signed, or (without --force) an installer of other than one FILE, a FILE that is no readable "
     "installer database, or a stub that is no Windows program; info: a database in the package cannot be "
     "read (its JSON has \"msi\": null and \"msi_error\")"},
    {kExitNeedsPerson, "try: needs a person (the installer shows its own dialogs; use --update)"},
    {kExitTimedOut, "try: timed out (the try did not end within --timeout)"},
    {kExitInternalError,
     "try: internal error (a fault of try itself, to be reported; --json still prints JSON)"},
    {kExitInterrupted,
     "interrupted by Ctrl+C, Ctrl+Break or the closing of the console (Windows); on POSIX, SIGINT, "
     "SIGTERM, SIGHUP or SIGQUIT end it by that signal (128 + its number to a shell). Either way the "
     "temporary file of the output being written is removed first"},
};

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
    // Likewise a write the system refused; limits come with a failure of their own.
    {SFX_ERR_WRITE, kExitCannotWrite, "cannot be written"},
};

const Meaning& MeaningOf(PackageResult result) {
    for (const Meaning& meaning : kMeanings) {
        if (meaning.result == result) return meaning;
    }
    // Not a result any operation gives: as bad as a failed write.
    return kMeanings[sizeof kMeanings / sizeof kMeanings[0] - 1];
}

}  // namespace

std::string ExitStatusHelp() {
    std::string text = "Exit status:\n";
    for (const auto& row : kStatuses) text += Wrap(row.meaning, "  " + std::to_string(row.status) + "  ", 6);
    return text;
}

int ExitStatusOf(PackageResult result, const FileFailure& failure) {
    if (failure.Failed()) return failure.side == FileFailure::kRead ? kExitCannotRead : kExitCannotWrite;
    if (result != SFX_OK && failure.limit == FileFailure::kTooLong) return kExitRefused;
    return MeaningOf(result).status;
}

std::string ResultWords(PackageResult result, const FileFailure& failure) {
    if (!failure.Failed() && result != SFX_OK && failure.limit == FileFailure::kTooLong)
        return Expand("too large: a package must stay below {limit}");
    if (!failure.Failed() && result != SFX_OK && failure.limit == FileFailure::kNoMemory)
        return "memory ran out";
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
