// textprog: writes a bit-tape program that prints the given text.
//
//   textprog "Hello, world!" > hello.txt
//   textprog < message.txt > message-program.txt
//
// With arguments, their text joined by spaces is used; without, standard
// input up to its end.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "tools/textprog.h"

int main(int argc, char** argv) {
    std::string text;
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
    } else {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    const std::string program = ProgramPrinting(text);
    std::fwrite(program.data(), 1, program.size(), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
