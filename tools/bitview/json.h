// Writing the API's answers: flat JSON objects of numbers, truth values,
// strings and arrays of numbers, which is all the page is sent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A piece of JSON text, ready to be a member's value.
struct JsonValue {
    std::string text;
};

// The text quoted, with quotes, backslashes and control bytes escaped; other
// bytes pass unchanged (names are UTF-8 as the command line gave them).
JsonValue JsonString(std::string_view text);

// The numbers of a range, each through `number` (the identity by default).
template <class Iterator, class Number = std::identity>
JsonValue JsonNumbers(Iterator first, Iterator last, Number number = {}) {
    std::string text = "[";
    for (Iterator at = first; at != last; ++at) {
        if (at != first) text += ',';
        text += std::to_string(number(*at));
    }
    return {text + "]"};
}

class JsonObject {
public:
    void add(std::string_view name, int64_t value) { member(name, std::to_string(value)); }
    void add(std::string_view name, int32_t value) { member(name, std::to_string(value)); }
    void add(std::string_view name, bool value) { member(name, value ? "true" : "false"); }
    void add(std::string_view name, const JsonValue& value) { member(name, value.text); }
    std::string text() const { return text_ + "}"; }

private:
    void member(std::string_view name, std::string_view value);

    std::string text_ = "{";
};
