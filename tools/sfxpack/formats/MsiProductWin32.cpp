// sfxpack.exe reads databases with the system's msi.dll (the stub never links it),
// loaded from the system folder when a database is first read: linked at start,
// msi.dll and the thirty libraries it brings would be loaded by every command, also
// those that never read a database.
#include <windows.h>
// clang-format off
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <string>
#include <vector>

#include "base/Utf8.h"
#include "tools/sfxpack/formats/MsiProduct.h"

namespace {

// The functions of msi.dll that reading a product takes, or none when it cannot be loaded.
struct MsiLibrary {
    decltype(&MsiOpenDatabaseW) openDatabase = nullptr;
    decltype(&MsiDatabaseOpenViewW) openView = nullptr;
    decltype(&MsiViewExecute) execute = nullptr;
    decltype(&MsiViewFetch) fetch = nullptr;
    decltype(&MsiViewClose) closeView = nullptr;
    decltype(&MsiRecordGetStringW) getString = nullptr;
    decltype(&MsiCloseHandle) closeHandle = nullptr;
    DWORD loadError = 0;

    bool Loaded() const { return closeHandle != nullptr; }
};

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *function != nullptr;
}

// Loaded once, for the process's life.
const MsiLibrary& Msi() {
    static const MsiLibrary library = [] {
        MsiLibrary msi;
        HMODULE module = LoadLibraryExW(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module && Resolve(module, "MsiOpenDatabaseW", &msi.openDatabase) &&
            Resolve(module, "MsiDatabaseOpenViewW", &msi.openView) &&
            Resolve(module, "MsiViewExecute", &msi.execute) && Resolve(module, "MsiViewFetch", &msi.fetch) &&
            Resolve(module, "MsiViewClose", &msi.closeView) &&
            Resolve(module, "MsiRecordGetStringW", &msi.getString) &&
            Resolve(module, "MsiCloseHandle", &msi.closeHandle))
            return msi;
        MsiLibrary none;
        none.loadError = GetLastError();
        return none;
    }();
    return library;
}

class MsiHandle {
public:
    MsiHandle() = default;
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;
    ~MsiHandle() { Close(); }
    void Close() {
        if (m_handle != 0) Msi().closeHandle(m_handle);
        m_handle = 0;
    }
    MSIHANDLE get() const { return m_handle; }
    MSIHANDLE* out() {
        Close();
        return &m_handle;
    }

private:
    MSIHANDLE m_handle = 0;
};

std::string Field(MSIHANDLE record, UINT field) {
    std::vector<wchar_t> text(64);
    DWORD length = static_cast<DWORD>(text.size());
    UINT result = Msi().getString(record, field, text.data(), &length);
    if (result == ERROR_MORE_DATA) {
        text.resize(length + 1);
        length = static_cast<DWORD>(text.size());
        result = Msi().getString(record, field, text.data(), &length);
    }
    return result == ERROR_SUCCESS ? Utf8FromWide(WideString(text.data())) : std::string();
}

std::string Code(const char* what, UINT result) {
    return std::string(what) + " (error " + std::to_string(result) + ")";
}

}  // namespace

bool ReadMsiProduct(const WideString& path, MsiProduct* product, std::string* error) {
    *product = MsiProduct();
    const MsiLibrary& msi = Msi();
    if (!msi.Loaded()) {
        *error =
            "the system's msi.dll cannot be loaded to read it (error " + std::to_string(msi.loadError) + ")";
        return false;
    }
    MsiHandle database;
    UINT result = msi.openDatabase(path.w_str(), MSIDBOPEN_READONLY, database.out());
    if (result != ERROR_SUCCESS) {
        *error = Code("not a readable installer database", result);
        return false;
    }
    MsiHandle view;
    result = msi.openView(database.get(), L"SELECT `Property`, `Value` FROM `Property`", view.out());
    if (result == ERROR_SUCCESS) result = msi.execute(view.get(), 0);
    if (result != ERROR_SUCCESS) {
        *error = Code("the installer database has no readable Property table", result);
        return false;
    }
    MsiHandle record;
    while (msi.fetch(view.get(), record.out()) == ERROR_SUCCESS) {
        const std::string name = Field(record.get(), 1);
        std::string* target = product->Slot(name);
        if (target != nullptr) *target = Field(record.get(), 2);
    }
    msi.closeView(view.get());
    return true;
}
