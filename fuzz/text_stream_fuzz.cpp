// ReadLine of a plain stream and the text streams over arbitrary bytes (CR,
// LF, NUL, cut sequences, lone surrogates), over memory and over a pipe, and
// strings written and read back in each encoding.
//
// Input: one byte choosing the encoding, then the data.
#include <unistd.h>

#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/text_model.h"
#include "streams/bank.h"
#include "streams/bankstream.h"
#include "streams/cstream.h"
#include "streams/textstream.h"

namespace {

constexpr int32_t kEncodings[] = {TTextStream::LATIN1, TTextStream::UTF8, TTextStream::UTF16BE, TTextStream::UTF16LE};

TBankStream* memoryHolding(const uint8_t* data, size_t size) {
    TBank* bank = BankNew(static_cast<int32_t>(size));
    if (size > 0) std::memcpy(bank->Buf(), data, size);
    return TBankStreamCreate(bank);
}

// The read end of a pipe holding the data, its write end closed.
TCStream* pipeHolding(const uint8_t* data, size_t size) {
    int ends[2];
    if (pipe(ends) != 0) std::abort();
    OV_FUZZ_CHECK(write(ends[1], data, size) == static_cast<ssize_t>(size));
    close(ends[1]);
    return TCStreamCreateWithCStream(fdopen(ends[0], "rb"), TCStream::MODE_READ);
}

// Lines until Eof (one at least), and whether a read exception ended them.
struct ReadLines {
    std::vector<std::u16string> lines;
    bool threw = false;
};

ReadLines readLines(TStream* stream) {
    ReadLines read;
    OV_TRY {
        do read.lines.push_back(ovFuzzUnits(stream->ReadLine()));
        while (stream->Eof() == 0);
    }
    OV_CATCH(e) {
        OV_FUZZ_CHECK(ovIsInstance(e, &TStreamReadExceptionType));
        read.threw = true;
    }
    OV_END_TRY
    return read;
}

void checkPlainLines(const uint8_t* data, size_t size) {
    std::vector<int32_t> bytes(data, data + size);
    const ReadLines read = readLines(memoryHolding(data, size));
    OV_FUZZ_CHECK(!read.threw);
    OV_FUZZ_CHECK(read.lines == linesOf(bytes, false));
}

void checkTextLines(int32_t encoding, const uint8_t* data, size_t size) {
    const DecodedText model = decodeText(encoding, data, size);
    const std::vector<std::u16string> expected = linesOf(model.chars, model.cut);
    const ReadLines inMemory = readLines(TTextStreamCreate(memoryHolding(data, size), encoding));
    OV_FUZZ_CHECK(inMemory.threw == model.cut);
    OV_FUZZ_CHECK(inMemory.lines == expected);

    // A pipe shows its end only to a read that comes back empty: after a
    // final line end one more, empty, line is read.
    TCStream* pipe = pipeHolding(data, size);
    const ReadLines piped = readLines(TTextStreamCreate(pipe, encoding));
    pipe->Close();
    std::vector<std::u16string> expectedPiped = expected;
    const bool endsWithLineEnd = !model.chars.empty() && (model.chars.back() == 0 || model.chars.back() == 10);
    if (!model.cut && endsWithLineEnd) expectedPiped.emplace_back();
    OV_FUZZ_CHECK(piped.threw == model.cut);
    OV_FUZZ_CHECK(piped.lines == expectedPiped);
}

// Every 16-bit unit survives UTF-8 and both UTF-16 orders; Latin-1 keeps the
// low 8 bits.
void checkRoundTrip(int32_t encoding, const uint8_t* data, size_t size) {
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    TTextStream* text = TTextStreamCreate(memoryHolding(nullptr, 0), encoding);
    text->WriteString(ovFuzzString(units));
    text->Seek(0);
    String* back = text->ReadString(static_cast<int32_t>(units.size()));
    OV_FUZZ_CHECK(text->Eof() == 1);
    if (encoding == TTextStream::LATIN1)
        for (char16_t& unit : units) unit &= 0xFF;
    OV_FUZZ_CHECK(ovFuzzUnits(back) == units);
}

}  // namespace

const size_t ovFuzzMaxInput = 16384;

void ovFuzzCheck(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const int32_t encoding = kEncodings[data[0] % 4];
    checkPlainLines(data + 1, size - 1);
    checkTextLines(encoding, data + 1, size - 1);
    checkRoundTrip(encoding, data + 1, size - 1);
}
