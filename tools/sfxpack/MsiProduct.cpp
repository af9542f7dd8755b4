#include "tools/sfxpack/MsiProduct.h"

#include <cstring>
#include <memory>

#include "file/CFile.h"
#include "file/CFileException.h"

bool HasDatabaseSignature(const WideString& path) {
    static const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    CFile file;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll)) return false;
    uint8_t head[8] = {0};
    uint32_t got = 0;
    try {
        got = file.Read(head, sizeof head);
    } catch (CFileException* error) {
        // A read error is the same answer as a short file: not a database.
        std::unique_ptr<CFileException> owner(error);
    }
    file.Abort();
    return got == sizeof head && std::memcmp(head, signature, sizeof head) == 0;
}

std::string ProductLine(const MsiProduct& product) {
    auto shown = [](const std::string& value) { return value.empty() ? std::string("(none)") : value; };
    return shown(product.name) + " " + shown(product.version) + ", " + shown(product.manufacturer) + ", " +
           shown(product.code);
}

std::string* MsiProduct::Slot(const std::string& property) {
    if (property == "ProductName") return &name;
    if (property == "ProductVersion") return &version;
    if (property == "ProductCode") return &code;
    if (property == "Manufacturer") return &manufacturer;
    return nullptr;
}
