// The module base: the program's own image, from which every resource is loaded.
// Of the framework's module services only this is used.
#pragma once

#include <windows.h>

class CComModule {
public:
    // Records the running image as instance and resource instance.
    CComModule();
    CComModule(const CComModule&) = delete;
    CComModule& operator=(const CComModule&) = delete;
    virtual ~CComModule() = default;

    // objectMap and libraryId are accepted for the framework's shape and not used.
    HRESULT Init(const void* objectMap, HINSTANCE instance, const GUID* libraryId = nullptr);
    void Term();

    HINSTANCE GetModuleInstance() const { return m_instance; }
    HINSTANCE GetResourceInstance() const { return m_resourceInstance; }

private:
    HINSTANCE m_instance;
    HINSTANCE m_resourceInstance;
};
