// textprog: writes a bit-tape program that prints the given text.
//
//   textprog "Hello, world!" > hello.txt
//   textprog < message.txt > message-program.txt
//
// With text arguments, their text joined by spaces is used; without,
// standard input up to its end.  Arguments starting with "--" are options,
// until a "--" that makes everything after it text.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "tools/textprog.h"
#include "tools/usage.h"

namespace {

constexpr char kUsage[] =
    "usage: textprog [--help] [TEXT]...\n"
    "       textprog [TEXT]... -- [TEXT]...\n"
    "Writes a bit-tape program that prints TEXT, its words joined by spaces, to\n"
    "standard output; without TEXT it takes standard input up to its end.\n"
    "Words starting with -- are options; words after a -- are text, so\n"
    "textprog -- --verbose makes a program that prints --verbose.\n"
    "\n"
    "  --help  print this help and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when standard output cannot be written, 2 when\n"
    "the command line is wrong.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string text;
    bool hasText = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word.rfind("--", 0) != 0) {
            text += (hasText ? " " : "") + word;
            hasText = true;
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--help") {
            return PrintUsage(kUsage);
        } else {
            return ReportUsageError("textprog", "unknown option " + word);
        }
    }
    if (!hasText) text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    const std::string program = ProgramPrinting(text);
    std::fwrite(program.data(), 1, program.size(), stdout);
    // The flush, not fwrite, is what meets a full disk for short output.
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
