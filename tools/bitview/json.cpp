#include "tools/bitview/json.h"

#include <cstdio>

JsonValue JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<uint8_t>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<uint8_t>(c)));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return {quoted + "\""};
}

void JsonObject::member(std::string_view name, std::string_view value) {
    if (text_.size() > 1) text_ += ',';
    text_ += JsonString(name).text;
    text_ += ':';
    text_ += value;
}
