#include "tools/sfxpack/commands/StubLocation.h"

#include <cstdlib>
#include <string>

#include "base/Path.h"
#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/RunningModulePath.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/ExitStatus.h"
#include "tools/sfxpack/cli/PackerOptions.h"
#include "tools/sfxpack/files/FileSystem.h"

namespace {

WideString StubFromEnvironment() {
#ifdef _WIN32
    const wchar_t* value = _wgetenv(L"SFXPACK_STUB");
    return value != nullptr ? WideString(value) : WideString();
#else
    const char* value = std::getenv("SFXPACK_STUB");
    return value != nullptr ? WideFromUtf8(value) : WideString();
#endif
}

}  // namespace

StubLocation::StubLocation() {
    const WideString named = StubFromEnvironment();
    if (!named.IsEmpty()) {
        // Named explicitly: the only place, so a wrong name is reported, not bypassed.
        m_fromEnvironment = true;
        m_places.push_back({named, ""});
    } else {
        const WideString binFolder = ParentFolder(RunningModulePath());
        if (!binFolder.IsEmpty()) {
#ifdef _WIN32
            m_places.push_back({InFolder(binFolder, u"sfxstub.exe"), ""});
#endif
            const WideString prefix = ParentFolder(binFolder);
            m_places.push_back(
                {InFolder(InFolder(InFolder(prefix, u"share"), u"sfxpack"), u"sfxstub.exe"), ""});
        }
    }
    for (Place& place : m_places) {
        CFile file;
        if (OpenForReading(place.path, file, &place.whyNot)) {
            file.Abort();
            m_found = place.path;
            break;
        }
    }
}

int UseDefaultStub(PackerOptions* options) {
    if (options->command != PackerOptions::Command::kCreate || options->noStub || !options->stub.IsEmpty()) {
        return kExitOk;
    }
    const StubLocation location;
    if (location.Found()) {
        options->stub = location.GetPath();
        if (options->verbose) {
            PrintNote("stub: " + Printable(options->stub) +
                      (location.FromEnvironment() ? " (from SFXPACK_STUB)" : " (installed beside sfxpack)"));
        }
        return kExitOk;
    }
    std::string places;
    for (const StubLocation::Place& place : location.Places()) {
        places += (places.empty() ? "" : ", ") + Printable(place.path) + " (" + place.whyNot + ")";
    }
    if (places.empty()) places = "nowhere: the path of sfxpack itself is unknown";
    PrintError(std::string("no stub"),
               std::string(location.FromEnvironment() ? "SFXPACK_STUB names " : "looked in ") + places +
                   "; give --stub STUB, or --no-stub for a package file alone");
    return kExitCannotRead;
}
