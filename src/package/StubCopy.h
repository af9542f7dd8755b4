// Copies the stub executable to the installer's path, replacing a file there.
#pragma once

#include "base/WideString.h"

// False when from cannot be read, to cannot be written, or both name one file
// (which a copy would destroy). A failed copy leaves nothing at to.
bool CopyStubFile(const WideString& from, const WideString& to);
