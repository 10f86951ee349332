// Whole texts: loading with byte-order-mark detection, and saving one byte
// per character or, where a character does not fit, as marked UTF-16LE.
#include "runtime/buffer.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/textstream.h"

namespace {

// One byte of the stream, or false at its end: Eof, or a read that returns
// nothing (a stream that cannot tell its end in advance).
bool readMarkByte(TStream* stream, int32_t* byte) {
    uint8_t b = 0;
    if (stream->Eof() != 0 || stream->Read(&b, 1) != 1) return false;
    *byte = b;
    return true;
}

struct ByteOrderMark {
    int32_t encoding;  // 0 when the text starts with no mark
    uint8_t bytes[3];  // the bytes read looking for it
    int32_t count;
};

ByteOrderMark detectByteOrderMark(TStream* stream) {
    ByteOrderMark mark{};
    int32_t b = 0;
    while (mark.count < 2 && readMarkByte(stream, &b)) mark.bytes[mark.count++] = static_cast<uint8_t>(b);
    if (mark.count < 2) return mark;
    const uint8_t first = mark.bytes[0];
    const uint8_t second = mark.bytes[1];
    if (first == 254 && second == 255) {
        mark.encoding = TTextStream::UTF16BE;
    } else if (first == 255 && second == 254) {
        mark.encoding = TTextStream::UTF16LE;
    } else if (first == 239 && second == 187 && readMarkByte(stream, &b)) {
        mark.bytes[mark.count++] = static_cast<uint8_t>(b);
        if (b == 191) mark.encoding = TTextStream::UTF8;
    }
    return mark;
}

// The rest of the stream after the bytes already read, one character per
// byte; ends at Eof or at a read that returns nothing.
String* readLatin1Rest(TStream* stream, const ByteOrderMark& mark) {
    ovTextBuffer<uint8_t> bytes;
    for (int32_t i = 0; i < mark.count; ++i) bytes.push(mark.bytes[i]);
    while (stream->Eof() == 0) {
        bytes.reserveSpare();
        const int32_t n = stream->Read(bytes.spare(), bytes.spareCount());
        if (n <= 0) break;
        bytes.commit(n);
    }
    return ovStringFromBytes(bytes.data(), bytes.size());
}

bool fitsLatin1(String* text) {
    const uint16_t* units = text->units();
    for (int32_t i = 0; i < text->length; ++i)
        if (units[i] > 255) return false;
    return true;
}

}  // namespace

String* LoadTextAuto(Object* target) {
    TStream* stream = StreamOpenRead(target);
    if (stream == ovNullOf<TStream>()) ovThrowStreamRead();
    ovStreamCloser closer(stream);
    const ByteOrderMark mark = detectByteOrderMark(stream);
    String* text =
        mark.encoding != 0 ? TTextStreamCreate(stream, mark.encoding)->ReadFile() : readLatin1Rest(stream, mark);
    closer.close();
    return text;
}

int32_t SaveTextAuto(String* text, Object* target) {
    if (fitsLatin1(text)) {
        SaveStringBytes(text, target);
        return 1;
    }
    TStream* stream = StreamOpenWrite(target);
    if (stream == ovNullOf<TStream>()) ovThrowStreamWrite();
    ovStreamCloser closer(stream);
    stream->WriteByte(255);
    stream->WriteByte(254);
    TTextStreamCreate(stream, TTextStream::UTF16LE)->WriteString(text);
    closer.closeWritten();
    return 1;
}
