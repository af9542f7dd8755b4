// A small JSON writer: objects, arrays, strings (UTF-8 in, escaped as JSON
// requires), unsigned numbers, booleans. Commas and nesting are its business.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonWriter {
public:
    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    // The key of the next value inside an object.
    JsonWriter& Key(const std::string& key);
    JsonWriter& String(const std::string& value);
    JsonWriter& Number(uint64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    // The document, with a closing newline.
    std::string Text() const { return m_text + "\n"; }

private:
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);
    void BeforeValue();
    void Quoted(const std::string& text);

    std::string m_text;
    std::vector<bool> m_first;  // per open container: nothing in it yet
    bool m_afterKey = false;
};
