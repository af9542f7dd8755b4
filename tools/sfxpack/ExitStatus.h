// Exit statuses of sfxpack, as --help documents them, and what each package result
// means to its user: one table, used by every command.
#pragma once

#include <string>

#include "package/FileFailure.h"
#include "package/PackageResult.h"

enum ExitStatus : int {
    kExitOk = 0,
    kExitDamaged = 1,     // verify/extract: an entry is damaged or its name is refused
    kExitUsage = 2,       // bad command line, or a named entry is not in the package
    kExitCannotRead = 3,  // a package, stub or input file cannot be opened or read
    kExitNotPackage = 4,  // no valid package found, or it holds no entries
    kExitCannotWrite = 5, // an output cannot be created or written, or would replace the package read
    kExitRefused = 6,     // create: input the installer could not take (names, counts, sizes, signed stub)
    // Windows: ended by Ctrl+C, Ctrl+Break or the closing of its console. On POSIX an
    // interrupted command ends by its signal, which a shell reports as 128 + its number.
    kExitInterrupted = 130,
};

// The exit status a package result ends a command with: where a file failed behind
// it, kExitCannotRead or kExitCannotWrite by the side that failed.
int ExitStatusOf(PackageResult result, const FileFailure& failure = FileFailure());
// What went wrong, in words that follow the name of the file it concerns ("" for
// success): for a file that failed, "cannot be read: " or "cannot be written: " and
// the system's own reason.
std::string ResultWords(PackageResult result, const FileFailure& failure = FileFailure());
// Prints "sfxpack: FILE: <before><words><after>" unless result is SFX_OK, and
// answers ExitStatusOf. FILE is the file failure names, else subject; before, which
// tells about subject, stays only where FILE is subject, and the system's reason,
// where a file failed, ends the line.
int ReportResult(PackageResult result, const FileFailure& failure, const WideString& subject,
                 const std::string& before = "", const char* after = "");
// ReportResult for a file that failed on its own, outside any package operation.
int ReportFailure(const FileFailure& failure);
