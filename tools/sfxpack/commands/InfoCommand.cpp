// sfxpack info, and list --json: what a package file holds and whether it can be trusted.
#include "package/SelfExtractor.h"
#include "package/reader/TableOfContents.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/Commands.h"
#include "tools/sfxpack/commands/OpenPackage.h"
#include "tools/sfxpack/commands/PackageInfo.h"

int DescribePackage(const PackerOptions& options, bool inspect) {
    SelfExtractor reader(options.package);
    TocLocation location;
    const int status = OpenPackage(reader, options.package, &location);
    if (status != kExitOk) return status;
    PackageInfo info;
    info.Collect(reader, location);
    if (inspect) info.Inspect(reader, StderrIsTerminal() && !options.quiet, options.verbose);
    PrintOut(options.json ? info.Json() : info.Text());
    return info.Status();
}

int RunInfo(const PackerOptions& options) {
    return DescribePackage(options, true);
}
