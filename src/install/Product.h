// The product's names: the dialog's title and texts, the registry key, the default
// install folder and the application's file in it.
#pragma once

constexpr wchar_t kProductName[] = L"Corvella";
constexpr wchar_t kApplicationFile[] = L"Corvella.exe";
