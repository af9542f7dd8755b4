// Something that may consume a message before the loop translates and dispatches it.
#pragma once

#include <windows.h>

class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    // True when the message has been consumed.
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;
};
