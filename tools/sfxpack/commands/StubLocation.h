// Where create finds its stub when the command line names none: the file that
// $SFXPACK_STUB names, else sfxstub.exe where an installed sfxpack keeps it
// (../share/sfxpack beside the binary; on Windows first beside sfxpack.exe).
#pragma once

#include <string>
#include <vector>

#include "base/WideString.h"

struct PackerOptions;

class StubLocation {
public:
    // Looks in the places above, in order; the first readable file wins.
    StubLocation();

    bool Found() const { return !m_found.IsEmpty(); }
    const WideString& GetPath() const { return m_found; }
    // Every place looked at, in order, with why it held no stub, for the message when
    // none did.
    struct Place {
        WideString path;
        std::string whyNot;
    };
    const std::vector<Place>& Places() const { return m_places; }
    bool FromEnvironment() const { return m_fromEnvironment; }

private:
    WideString m_found;
    std::vector<Place> m_places;
    bool m_fromEnvironment = false;
};

// For a create without --stub or --no-stub, puts the default stub into
// options->stub. kExitOk, or kExitCannotRead after saying where it looked.
int UseDefaultStub(PackerOptions* options);
