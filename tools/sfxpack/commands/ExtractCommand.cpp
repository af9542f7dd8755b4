// sfxpack extract: each entry through a temporary file beside its final name, and a
// line for each file written.
#include <string>
#include <vector>

#include "base/Path.h"
#include "base/Utf8.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/Figures.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/cli/PackerProgress.h"
#include "tools/sfxpack/commands/Commands.h"
#include "tools/sfxpack/commands/EntryVerdict.h"
#include "tools/sfxpack/commands/OpenPackage.h"
#include "tools/sfxpack/files/FileSystem.h"
#include "tools/sfxpack/files/TemporaryFile.h"

namespace {

// The entries asked for, by name or index: all of them when none is named.
int SelectEntries(const PackerOptions& o, const SelfExtractor& reader, std::vector<int32_t>* selected) {
    if (o.files.empty()) {
        for (int32_t i = 0; i < reader.GetEntryCount(); ++i) selected->push_back(i);
    }
    for (const WideString& want : o.files) {
        int32_t found = -1;
        for (int32_t i = 0; i < reader.GetEntryCount() && found < 0; ++i) {
            if (reader.EntryAt(i).name == want) found = i;
        }
        if (found < 0) {
            const std::string digits = Utf8FromWide(want);
            if (!digits.empty() && digits.size() < 4 &&
                digits.find_first_not_of("0123456789") == std::string::npos &&
                std::stoi(digits) < reader.GetEntryCount()) {
                found = std::stoi(digits);
            }
        }
        if (found < 0) {
            PrintError(o.package, "no entry named or numbered '" + Printable(want) + "'");
            return kExitUsage;
        }
        selected->push_back(found);
    }
    return kExitOk;
}

// One entry inflated into a file of its own, which takes its name only when it is
// whole: a failure leaves what was at the name as it was.
int ExtractOne(const PackerOptions& o, SelfExtractor& reader, EntryVerdict& verdict, int32_t index,
               const WideString& folder, PackerProgress& progress) {
    const PackageEntry& e = reader.EntryAt(index);
    const WideString target = InFolder(folder, e.name);
    // Replacing the package while it is read would destroy it.
    if (IsNameOf(target, o.package)) {
        PrintError(target, "is the package being extracted; not replaced (extract into another folder)");
        return kExitCannotWrite;
    }
    TemporaryFile output(target);
    FileFailure failure;
    if (!output.Create(&failure)) return ReportFailure(failure);
    PackageResult result = reader.InflateEntryInBlocks(index, &output.File(), &progress);
    failure = reader.LastFailure();
    if (result == SFX_OK && !output.Close(&failure)) result = SFX_ERR_WRITE;
    if (result == SFX_OK && output.Publish()) {
        if (!o.quiet) PrintOut("wrote:      " + Printable(target) + ", " + Bytes(e.size) + "\n");
        return kExitOk;
    }
    if (result == SFX_OK) {
        PrintError(target, "cannot be replaced (a folder or a protected file has that name)");
        return kExitCannotWrite;
    }
    // A failed write is the target's; anything else is the entry's.
    if (result == SFX_ERR_WRITE) return ReportResult(result, failure, target);
    verdict.TakeData(result, failure);
    return verdict.Report(o.package, "; not extracted");
}

}  // namespace

int RunExtract(const PackerOptions& o) {
    SelfExtractor reader(o.package);
    int status = OpenPackage(reader, o.package);
    if (status != kExitOk) return status;
    const WideString folder = o.directory.IsEmpty() ? WideString(u".") : o.directory;
    if (!IsDirectory(folder)) {
        PrintError(folder, "no such folder");
        return kExitCannotWrite;
    }
    std::vector<int32_t> selected;
    status = SelectEntries(o, reader, &selected);
    if (status != kExitOk) return status;

    uint64_t total = 0;
    for (int32_t index : selected) total += reader.EntryAt(index).compressedSize;
    PackerProgress progress(StderrIsTerminal() && !o.quiet, o.verbose ? "extracting" : nullptr, total);
    int worst = kExitOk;
    for (size_t k = 0; k < selected.size(); ++k) {
        EntryVerdict verdict = EntryVerdict::OfNames(reader, selected, k);
        const int failure = verdict.Good() ? ExtractOne(o, reader, verdict, selected[k], folder, progress)
                                           : verdict.Report(o.package, "; not extracted");
        if (worst == kExitOk) worst = failure;
    }
    return worst;
}
