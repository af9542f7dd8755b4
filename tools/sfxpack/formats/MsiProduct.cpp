#include "tools/sfxpack/formats/MsiProduct.h"

#include <cstring>

#include "file/CFile.h"
#include "file/CatchFileError.h"
#include "tools/sfxpack/cli/Console.h"

bool HasDatabaseSignature(CFile& file) {
    static const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    uint8_t head[8] = {0};
    uint32_t got = 0;
    // A read error is the same answer as a short file: not a database.
    CatchFileError([&] {
        file.Seek(0, CFile::begin);
        got = file.Read(head, sizeof head);
    });
    return got == sizeof head && std::memcmp(head, signature, sizeof head) == 0;
}

bool HasDatabaseSignature(const WideString& path) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll)) return false;
    const bool database = HasDatabaseSignature(file);
    file.Abort();
    return database;
}

std::string ProductNote(const WideString& name, const MsiProduct& product) {
    auto shown = [](const std::string& value) { return value.empty() ? std::string("(none)") : value; };
    return Printable(name) + ": product " + shown(product.name) + " " + shown(product.version) + ", " +
           shown(product.manufacturer) + ", " + shown(product.code);
}

std::string* MsiProduct::Slot(const std::string& property) {
    if (property == "ProductName") return &name;
    if (property == "ProductVersion") return &version;
    if (property == "ProductCode") return &code;
    if (property == "Manufacturer") return &manufacturer;
    return nullptr;
}
