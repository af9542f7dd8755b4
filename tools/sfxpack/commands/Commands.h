// The commands of sfxpack, one file each. Each checks what it is given, reports in
// words and exit statuses, and keeps the user's files whole (temporary outputs,
// signals); every byte of a package is read and written by SelfExtractor. Each answers
// its exit status.
#pragma once

struct PackerOptions;

int RunCreate(const PackerOptions& options);
int RunList(const PackerOptions& options);
int RunInfo(const PackerOptions& options);
int RunExtract(const PackerOptions& options);
int RunVerify(const PackerOptions& options);
// On Linux the process becomes python3 running sfxtry, told what the installer is; a
// status is returned only when that cannot happen: kExitCannotRead when something is
// missing (named, with the Debian packages that bring it), kExitUsage on Windows, where
// try does not run.
int RunTry(const PackerOptions& options);
