// The product a Windows Installer database describes, read from its Property
// table with the platform's own library for it (libmsi natively, msi.dll on
// Windows).
#pragma once

#include <string>

#include "base/WideString.h"

class CFile;

struct MsiProduct {
    std::string name;          // ProductName
    std::string version;       // ProductVersion
    std::string code;          // ProductCode
    std::string manufacturer;  // Manufacturer

    // The member that holds the property of that name; nullptr for the others.
    std::string* Slot(const std::string& property);
};

// True when the file begins with the compound-file signature that every
// installer database has; cheap enough to ask of any file.
bool HasDatabaseSignature(CFile& file);
bool HasDatabaseSignature(const WideString& path);
// Opens path read-only and reads the four properties (a missing one stays empty);
// false with the reason in *error when it is no readable database.
bool ReadMsiProduct(const WideString& path, MsiProduct* product, std::string* error);
// "NAME: product ProductName ProductVersion, Manufacturer, ProductCode", the line
// create and info print for an installer database.
std::string ProductNote(const WideString& name, const MsiProduct& product);
