// sfxpack verify: every entry of each package inflated without being written, and
// judged as extract and info judge it.
#include <string>

#include "base/Utf8.h"
#include "package/SelfExtractor.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/JsonWriter.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/Commands.h"
#include "tools/sfxpack/commands/EntryVerdict.h"
#include "tools/sfxpack/commands/OpenPackage.h"

namespace {

// Verifies one package: its status, and its object in the JSON when one is written.
int VerifyPackage(const PackerOptions& o, const WideString& package, JsonWriter* json) {
    SelfExtractor reader(package);
    std::string problem;
    const int opened = OpenPackage(reader, package, nullptr, &problem);
    if (json != nullptr) json->BeginObject().Key("file").String(Utf8FromWide(package));
    if (opened != kExitOk) {
        if (json != nullptr)
            json->Key("status")
                .Number(static_cast<uint64_t>(opened))
                .Key("problem")
                .String(problem)
                .EndObject();
        return opened;
    }
    if (json != nullptr) json->Key("entries").BeginArray();
    int worst = kExitOk;
    int32_t good = 0;
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        if (o.verbose) PrintNote("verifying " + Printable(reader.EntryAt(i).name));
        EntryVerdict verdict = EntryVerdict::OfNames(reader, i);
        if (verdict.Good()) verdict.TakeData(reader.InflateEntryInBlocks(i, nullptr), reader.LastFailure());
        if (json != nullptr) {
            json->BeginObject().Key("index").Number(static_cast<uint64_t>(i));
            json->Key("name")
                .String(Utf8FromWide(reader.EntryAt(i).name))
                .Key("checksum")
                .String(verdict.Check());
            if (!verdict.Good()) json->Key("problem").String(verdict.Words());
            json->EndObject();
        }
        good += verdict.Good() ? 1 : 0;
        const int failure = verdict.Good() ? kExitOk : verdict.Report(package);
        if (worst == kExitOk) worst = failure;
    }
    if (json != nullptr)
        json->EndArray()
            .Key("verified")
            .Number(static_cast<uint64_t>(good))
            .Key("status")
            .Number(static_cast<uint64_t>(worst))
            .EndObject();
    if (!o.quiet && json == nullptr) {
        PrintOut(Printable(package) + ": " + std::to_string(good) + " of " +
                 std::to_string(reader.GetEntryCount()) + " entries verified\n");
    }
    return worst;
}

}  // namespace

int RunVerify(const PackerOptions& o) {
    JsonWriter json;
    if (o.json) json.BeginObject().Key("files").BeginArray();
    int worst = kExitOk;
    for (const WideString& package : o.files) {
        const int status = VerifyPackage(o, package, o.json ? &json : nullptr);
        if (worst == kExitOk) worst = status;
    }
    if (o.json) {
        json.EndArray().Key("status").Number(static_cast<uint64_t>(worst)).EndObject();
        PrintOut(json.Text());
    }
    return worst;
}
