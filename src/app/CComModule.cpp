#include "app/CComModule.h"

CComModule::CComModule()
    : m_instance(GetModuleHandleW(nullptr)), m_resourceInstance(GetModuleHandleW(nullptr)) {}

HRESULT CComModule::Init(const void*, HINSTANCE instance, const GUID*) {
    if (instance) m_instance = m_resourceInstance = instance;
    return S_OK;
}

void CComModule::Term() {}
