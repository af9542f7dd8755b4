// Exit statuses of sfxpack and what each means, and what each package result means to
// its user: the one table of both, used by every command. --help prints the statuses
// from it; the manual page and sfxtry, which ends try with them, are held to it by
// tests/release/test_release.py.
#pragma once

#include <string>

#include "package/FileFailure.h"
#include "package/PackageResult.h"

// What each means is in ExitStatus.cpp's table.
enum ExitStatus : int {
    kExitOk = 0,
    kExitDamaged = 1,
    kExitUsage = 2,
    kExitCannotRead = 3,
    kExitNotPackage = 4,
    kExitCannotWrite = 5,
    kExitRefused = 6,
    kExitNeedsPerson = 7,    // try only
    kExitTimedOut = 8,       // try only
    kExitInternalError = 9,  // try only
    kExitInterrupted = 130,
};

// The "Exit status:" part of --help: every status and what it means.
std::string ExitStatusHelp();

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
