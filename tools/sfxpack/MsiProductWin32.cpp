// sfxpack.exe reads databases with the system's msi.dll (the stub never links it).
#include <windows.h>
// clang-format off
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <string>
#include <vector>

#include "base/Utf8.h"
#include "tools/sfxpack/MsiProduct.h"

namespace {

class MsiHandle {
public:
    MsiHandle() = default;
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;
    ~MsiHandle() { Close(); }
    void Close() {
        if (m_handle != 0) MsiCloseHandle(m_handle);
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
    UINT result = MsiRecordGetStringW(record, field, text.data(), &length);
    if (result == ERROR_MORE_DATA) {
        text.resize(length + 1);
        length = static_cast<DWORD>(text.size());
        result = MsiRecordGetStringW(record, field, text.data(), &length);
    }
    return result == ERROR_SUCCESS ? Utf8FromWide(WideString(text.data())) : std::string();
}

std::string Code(const char* what, UINT result) {
    return std::string(what) + " (error " + std::to_string(result) + ")";
}

}  // namespace

bool ReadMsiProduct(const WideString& path, MsiProduct* product, std::string* error) {
    *product = MsiProduct();
    MsiHandle database;
    UINT result = MsiOpenDatabaseW(path.w_str(), MSIDBOPEN_READONLY, database.out());
    if (result != ERROR_SUCCESS) {
        *error = Code("not a readable installer database", result);
        return false;
    }
    MsiHandle view;
    result = MsiDatabaseOpenViewW(database.get(), L"SELECT `Property`, `Value` FROM `Property`", view.out());
    if (result == ERROR_SUCCESS) result = MsiViewExecute(view.get(), 0);
    if (result != ERROR_SUCCESS) {
        *error = Code("the installer database has no readable Property table", result);
        return false;
    }
    MsiHandle record;
    while (MsiViewFetch(view.get(), record.out()) == ERROR_SUCCESS) {
        const std::string name = Field(record.get(), 1);
        std::string* target = product->Slot(name);
        if (target != nullptr) *target = Field(record.get(), 2);
    }
    MsiViewClose(view.get());
    return true;
}
