// The interpreter's loader over arbitrary file content, as a plain file and
// through each text protocol: the commands it keeps are exactly the command
// characters of the decoded text, and a character cut short at the end is a
// read error.
//
// Input: one byte choosing the protocol, then the file's bytes.
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/interpreter.h"
#include "app/program.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/text_model.h"

namespace {

struct Protocol {
    const char* prefix;
    int32_t encoding;  // 0: a plain file, one character per byte
};

constexpr Protocol kProtocols[] = {
    {"", 0},
    {"latin1::", TTextStream::LATIN1},
    {"utf8::", TTextStream::UTF8},
    {"utf16be::", TTextStream::UTF16BE},
    {"utf16le::", TTextStream::UTF16LE},
};

std::string scratchFile;

void removeScratchFile() { unlink(scratchFile.c_str()); }

// The file the inputs are written to, made on first use and removed at exit.
const std::string& scratch() {
    if (scratchFile.empty()) {
        char pattern[] = "/tmp/ov-fuzz-loader-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) std::abort();
        close(fd);
        scratchFile = pattern;
        std::atexit(removeScratchFile);
    }
    return scratchFile;
}

std::string commandsIn(const DecodedText& text) {
    std::string commands;
    for (const int32_t c : text.chars)
        if (isCommandCode(static_cast<uint16_t>(c)) && c != 0 && c != 10 && c != 13) commands.push_back(static_cast<char>(c));
    return commands;
}

}  // namespace

const size_t ovFuzzMaxInput = 65536;

void ovFuzzCheck(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const Protocol& protocol = kProtocols[data[0] % 5];
    std::ofstream(scratch(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data + 1),
                                                                         static_cast<std::streamsize>(size - 1));
    const DecodedText text = decodeText(protocol.encoding != 0 ? protocol.encoding : TTextStream::LATIN1, data + 1, size - 1);

    Program program;
    bool threw = false;
    LoadResult result = LoadResult::kNotFound;
    const std::string name = protocol.prefix + scratch();
    OV_TRY { result = LoadProgram(ovStringFromCString(name.c_str()), program); }
    OV_CATCH(e) {
        OV_FUZZ_CHECK(ovIsInstance(e, &TStreamReadExceptionType));
        threw = true;
    }
    OV_END_TRY
    OV_FUZZ_CHECK(threw == text.cut);
    if (threw) return;
    OV_FUZZ_CHECK(result == LoadResult::kLoaded);
    const std::string loaded(reinterpret_cast<const char*>(program.commands()), static_cast<size_t>(program.commandCount()));
    OV_FUZZ_CHECK(loaded == commandsIn(text));
}
