#include "res/ResourceManager.h"

#include <windows.h>
// Our members carry the plain names.
#undef LoadString
#undef LoadMenu
#undef LoadBitmap
#undef LoadCursor

#include <boost/make_shared.hpp>

boost::shared_ptr<ResourceManager> ResourceManager::Instance() {
    // Thread-safe in the libraries; the stub compiles it without the guard, which holds
    // because its first call comes before the worker starts (see src/app/CMakeLists.txt).
    // If it throws, the next call retries.
    static const boost::shared_ptr<ResourceManager> instance = boost::make_shared<ResourceManager>();
    return instance;
}

ResourceManager::~ResourceManager() = default;

HMODULE ResourceManager::ModuleFor(LPCWSTR name, LPCWSTR type) const {
    if (m_languageModule != nullptr && FindResourceW(m_languageModule, name, type) != nullptr)
        return m_languageModule;
    return m_defaultModule;
}

bool ResourceManager::LoadString(WideString& text, unsigned id) {
    // Strings live in blocks of 16; block n + 1 holds ids 16n to 16n + 15.
    HMODULE module = ModuleFor(MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
    wchar_t buffer[512] = {};
    int length = LoadStringW(module, id, buffer, 512);
    text = WideString(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return length > 0;
}

bool ResourceManager::LoadMenu(HMENU& menu, LPCWSTR name) {
    HMENU loaded = LoadMenuW(ModuleFor(name, RT_MENU), name);
    if (loaded == nullptr) return false;
    menu = loaded;
    return true;
}

bool ResourceManager::LoadBitmap(HBITMAP& bitmap, LPCWSTR name) {
    HBITMAP loaded = LoadBitmapW(ModuleFor(name, RT_BITMAP), name);
    if (loaded == nullptr) return false;
    bitmap = loaded;
    return true;
}

HCURSOR ResourceManager::LoadCursor(LPCWSTR name) {
    return LoadCursorW(ModuleFor(name, RT_GROUP_CURSOR), name);
}
