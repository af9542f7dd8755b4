// The string-id offset: the dialog adds it to its base string ids to speak English,
// French or Japanese. Only the first entry of the language list counts.
#pragma once

class MultiLanguage;

constexpr int kEnglishStringIdOffset = 0;
constexpr int kFrenchStringIdOffset = 20;
constexpr int kJapaneseStringIdOffset = 40;

// 20 when the first entry's primary language is French, 40 when it is Japanese, else 0.
int ChooseStringIdOffset(const MultiLanguage& languages);

// The language choice of the dialog's initialisation, on the process-wide ResourceManager:
// detection, then the user's and the system's default language, then the offset.
int SelectStringIdOffset();
