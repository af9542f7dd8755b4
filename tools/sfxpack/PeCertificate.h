// Whether a stub executable already carries an Authenticode certificate table.
#pragma once

#include "base/WideString.h"

enum class StubSignature { kUnsigned, kSigned, kNotPe };

// Reads the PE headers: signed when data directory 4 (the certificate table) is
// not empty. Throws nothing; a file that cannot be read counts as kNotPe.
StubSignature InspectStub(const WideString& path);
