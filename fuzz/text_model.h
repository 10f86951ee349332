// The text streams' decoding written out plainly from the encodings'
// tables, for the targets to compare the streams with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "streams/textstream.h"

struct DecodedText {
    std::vector<int32_t> chars;
    bool cut = false;  // the data ends inside a character
};

// The bytes one character takes, given its first byte.
inline size_t characterLength(int32_t encoding, uint8_t first) {
    switch (encoding) {
        case TTextStream::UTF8: return first < 128 ? 1 : first < 224 ? 2 : 3;
        case TTextStream::UTF16BE:
        case TTextStream::UTF16LE: return 2;
        default: return 1;
    }
}

inline int32_t characterAt(int32_t encoding, const uint8_t* b) {
    switch (encoding) {
        case TTextStream::LATIN1: return b[0];
        case TTextStream::UTF8:
            if (b[0] < 128) return b[0];
            if (b[0] < 224) return (b[0] - 192) * 64 + (b[1] - 128);
            if (b[0] < 240) return (b[0] - 224) * 4096 + (b[1] - 128) * 64 + (b[2] - 128);
            return 0;
        case TTextStream::UTF16BE: return b[0] * 256 + b[1];
        case TTextStream::UTF16LE: return b[0] + b[1] * 256;
        default: return 0;
    }
}

inline DecodedText decodeText(int32_t encoding, const uint8_t* data, size_t size) {
    DecodedText text;
    for (size_t i = 0; i < size;) {
        const size_t length = characterLength(encoding, data[i]);
        if (i + length > size) {
            text.cut = true;
            break;
        }
        text.chars.push_back(characterAt(encoding, data + i));
        i += length;
    }
    return text;
}

// The lines ReadLine gives for the characters, read until Eof over a stream
// that knows its end: NUL and LF end a line, CR is dropped, the units keep
// their low 16 bits.  The empty text is one empty line.  With `partial`, a
// last line without its end is left out (a cut character follows it).
inline std::vector<std::u16string> linesOf(const std::vector<int32_t>& chars, bool partial) {
    std::vector<std::u16string> lines(1);
    bool open = true;
    for (const int32_t c : chars) {
        if (!open) {
            lines.emplace_back();
            open = true;
        }
        if (c == 0 || c == 10) open = false;
        else if (c != 13) lines.back().push_back(static_cast<char16_t>(c));
    }
    if (partial && open) lines.pop_back();
    return lines;
}
