// The process-wide language list and resource loader. Created on the first Instance call
// and kept until process exit; every caller holds its own shared reference while it works.
#pragma once

#include <windef.h>

#include <boost/shared_ptr.hpp>

#include "base/WideString.h"
#include "res/MultiLanguage.h"

// <windows.h> renames these to their W forms; the members keep the plain names.
#pragma push_macro("LoadString")
#pragma push_macro("LoadMenu")
#pragma push_macro("LoadBitmap")
#pragma push_macro("LoadCursor")
#undef LoadString
#undef LoadMenu
#undef LoadBitmap
#undef LoadCursor

class ResourceManager : public MultiLanguage {
public:
    static boost::shared_ptr<ResourceManager> Instance();

    ResourceManager() = default;
    // The module handles are borrowed: nothing is freed.
    ~ResourceManager() override;

    // Operations of the class's interface that only the tests call: the stub's texts come through
    // WideString's own LoadString from the executable, and nothing sets the two
    // modules. They are kept for the class's shape and tested as such.
    // Each loader prefers the language module when it holds the resource, and falls back
    // to the default module. Both are empty, which means the executable for strings and
    // menus and the system's own bitmaps and cursors. Strings come through 512 units.
    virtual bool LoadString(WideString& text, unsigned id);
    // These two replace the handle with the loaded one and leave it alone when nothing
    // was loaded; the caller owns both.
    virtual bool LoadMenu(HMENU& menu, LPCWSTR name);
    virtual bool LoadBitmap(HBITMAP& bitmap, LPCWSTR name);
    virtual HCURSOR LoadCursor(LPCWSTR name);

private:
    HMODULE ModuleFor(LPCWSTR name, LPCWSTR type) const;

    HMODULE m_defaultModule = nullptr;
    HMODULE m_languageModule = nullptr;
};

#pragma pop_macro("LoadCursor")
#pragma pop_macro("LoadBitmap")
#pragma pop_macro("LoadMenu")
#pragma pop_macro("LoadString")
