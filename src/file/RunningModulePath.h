// Full path of the running executable (the installer reads its own package).
#pragma once

#include "base/WideString.h"

WideString RunningModulePath();
