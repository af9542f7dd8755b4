#include "tools/sfxpack/formats/InstallerCheck.h"

#include <string>

#include "base/Path.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/commands/CreateInputs.h"

namespace {

const char kAnyway[] = "; pass --force to pack it anyway";

}  // namespace

int CheckInstaller(const PackerOptions& o, const CreateInputs& inputs) {
    if (o.stub.IsEmpty()) {
        if (EndsWithIgnoringCase(o.output, u".exe")) {
            PrintWarning(
                o.output,
                "a bare package (--no-stub) is no program and cannot run; leave out --no-stub for an "
                "installer, or give the package another name");
        }
        return kExitOk;
    }
    if (o.force) return kExitOk;
    if (inputs.stub.signature == StubSignature::kNotPe) {
        PrintError(o.stub,
                   std::string("is not a Windows program (no MZ header, or no PE signature where it points); "
                               "Windows would not run the installer") +
                       kAnyway);
        return kExitRefused;
    }
    if (o.files.size() != 1) {
        PrintError(o.output, std::to_string(o.files.size()) +
                                 " files given; the installer needs exactly one, its database, and would "
                                 "refuse the package; pass --force to pack them anyway");
        return kExitRefused;
    }
    const WideString& database = o.files[0];
    if (!inputs.files[0].isDatabase) {
        PrintError(
            database,
            std::string("is not a Windows Installer database (it does not start with the compound-file "
                        "signature); the installer would refuse it") +
                kAnyway);
        return kExitRefused;
    }
    if (!inputs.files[0].productRead) {
        PrintError(database, inputs.files[0].productProblem + "; msiexec would refuse it" + kAnyway);
        return kExitRefused;
    }
    return kExitOk;
}
