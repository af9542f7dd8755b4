#include "tools/sfxpack/cli/JsonWriter.h"

void JsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back()) m_text += ", ";
        m_first.back() = false;
    }
}

void JsonWriter::Quoted(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    m_text += '"';
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                m_text += "\\\"";
                break;
            case '\\':
                m_text += "\\\\";
                break;
            case '\n':
                m_text += "\\n";
                break;
            case '\r':
                m_text += "\\r";
                break;
            case '\t':
                m_text += "\\t";
                break;
            default:
                // Bytes from 0x80 on are UTF-8 and stand as they are.
                if (u < 0x20 || u == 0x7F) {
                    m_text += "\\u00";
                    m_text += digits[u >> 4];
                    m_text += digits[u & 15];
                } else {
                    m_text += c;
                }
        }
    }
    m_text += '"';
}

JsonWriter& JsonWriter::Open(char bracket) {
    BeforeValue();
    m_text += bracket;
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    m_first.pop_back();
    m_text += bracket;
    return *this;
}

JsonWriter& JsonWriter::Key(const std::string& key) {
    BeforeValue();
    Quoted(key);
    m_text += ": ";
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(const std::string& value) {
    BeforeValue();
    Quoted(value);
    return *this;
}

JsonWriter& JsonWriter::Number(uint64_t value) {
    BeforeValue();
    m_text += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    m_text += "null";
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    m_text += value ? "true" : "false";
    return *this;
}
