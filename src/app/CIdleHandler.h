// Something the loop calls when its queue runs empty.
#pragma once

#include <windows.h>

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    // True when more idle work remains (the loop does not look at it).
    virtual BOOL OnIdle() = 0;
};
