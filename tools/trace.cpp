#include "tools/trace.h"

#include <cinttypes>
#include <cstdio>
#include <ostream>

#include "app/interpreter.h"
#include "app/machine.h"
#include "runtime/array.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "tools/usage.h"

const char kTraceUsage[] =
    "usage: bittrace [OPTION]... [PROGRAM]\n"
    "Runs a bit-tape program as bitrun does and shows what each command does.\n"
    "PROGRAM is looked up as bitrun looks it up (code.txt when none is given);\n"
    "\",\" reads its lines from standard input.\n"
    "\n"
    "  --steps N    run N commands at the most (default: no limit)\n"
    "  --window N   show N cells on each side of the head (default 8, at most 1000)\n"
    "  --from N     start showing at the N-th command run (default 1)\n"
    "  --every N    show one line per N commands, from the first shown on (default 1)\n"
    "  --help       print this help and exit\n"
    "  --           ends the options: a program file named -x is given as -- -x\n"
    "A value may also follow its option after \"=\", as in --steps=100.\n"
    "\n"
    "Each line shows the command count, the command's index and character, the\n"
    "head's position and the tape around the head after the command, the head's\n"
    "cell in [ ] and \"_\" for cells the tape has not reached yet (they read as 0).\n"
    "\".\" adds the byte printed, \",\" the code read, \"?\" the index it jumps to.\n"
    "The last line says how the run ended.\n"
    "\n"
    "Exit status: 0 when the run completed or reached the step limit, 1 when the\n"
    "program cannot be loaded or its tape would pass its cell limit, 2 when the\n"
    "command line is wrong.\n";

namespace {

struct NumberOption {
    const char* name;
    int64_t TraceOptions::*field;
    int64_t least;
    int64_t most;
};

constexpr NumberOption kNumberOptions[] = {
    {"--steps", &TraceOptions::steps, 0, INT64_MAX},
    {"--window", &TraceOptions::window, 0, 1000},
    {"--from", &TraceOptions::from, 1, INT64_MAX},
    {"--every", &TraceOptions::every, 1, INT64_MAX},
};

const NumberOption* numberOptionNamed(const std::string& name) {
    for (const NumberOption& option : kNumberOptions)
        if (name == option.name) return &option;
    return nullptr;
}

// Decimal digits only, so "-5", "+5" and "5x" are all refused.
bool parseWhole(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const int digit = c - '0';
        if (value > (INT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

std::string rangeOf(const NumberOption& option) {
    if (option.most == INT64_MAX) return "of at least " + std::to_string(option.least);
    return "from " + std::to_string(option.least) + " to " + std::to_string(option.most);
}

// Sets the option from its value; the error when the value does not fit.
std::string setNumber(const NumberOption& option, const std::string& value, TraceOptions& options) {
    int64_t number = 0;
    if (!parseWhole(value, number) || number < option.least || number > option.most)
        return std::string(option.name) + " takes a whole number " + rangeOf(option) + ", not '" + value + "'";
    options.*option.field = number;
    return "";
}

// Reads the option at arguments[at], and its value from the next argument
// when it is not given after "="; moves `at` past what it took.
std::string takeOption(const std::vector<std::string>& arguments, size_t& at, TraceCommandLine& line) {
    const std::string& word = arguments[at];
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (name == "--help" && equals == std::string::npos) {
        line.help = true;
        return "";
    }
    const NumberOption* option = numberOptionNamed(name);
    if (option == nullptr) return "unknown option " + name;
    if (equals != std::string::npos) return setNumber(*option, word.substr(equals + 1), line.options);
    if (++at == arguments.size()) return name + " needs a number";
    return setNumber(*option, arguments[at], line.options);
}

}  // namespace

TraceCommandLine ParseTraceArguments(const std::vector<std::string>& arguments) {
    TraceCommandLine line;
    line.error = ReadToolArguments(
        arguments, line.programFile, line.programArgument,
        [&](const std::vector<std::string>& words, size_t& at) { return takeOption(words, at, line); });
    return line;
}

namespace {

// Keeps what the command just run printed or read, for its line.
class RecordingIo final : public CommandIo {
public:
    explicit RecordingIo(const ReadCode& readCode) : readCode_(readCode) {}
    void print(uint8_t code) override { printed = code; }
    int32_t readCode() override { return read = readCode_(); }

    uint8_t printed = 0;  // the machine prints nothing for a zero byte, so 0 is "nothing printed"
    int32_t read = -1;

private:
    const ReadCode& readCode_;
};

constexpr char kHeader[] = "   count  index cmd    head  tape";

std::string tapeWindow(const Tape& tape, int64_t head, int64_t radius) {
    std::string window;
    for (int64_t position = head - radius; position <= head + radius; ++position) {
        if (position == head) window += '[';
        window += CellSymbol(tape, position);
        if (position == head) window += ']';
    }
    return window;
}

std::string codeText(int32_t code) {
    const std::string number = std::to_string(code);
    return code >= 0x20 && code < 0x7F ? number + " '" + static_cast<char>(code) + "'" : number;
}

std::string effectOf(uint8_t command, const Machine& machine, const RecordingIo& io) {
    switch (command) {
        case kCommandPrint: return io.printed == 0 ? "print 0, nothing printed" : "print " + codeText(io.printed);
        case kCommandRead: return io.read < 0 ? "read -1, empty line or end of input" : "read " + codeText(io.read);
        case kCommandJump:
            return "jump to " + std::to_string(machine.pc()) + (machine.finished() ? ", past the end" : "");
        default: return "";
    }
}

std::string traceLine(int64_t count, int32_t index, uint8_t command, const Machine& machine, const RecordingIo& io,
                      int64_t radius) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%8" PRId64 " %6" PRId32 "  %c  %7" PRId32 "  ", count, index, command,
                  machine.head());
    std::string line = numbers + tapeWindow(machine.tape(), machine.head(), radius);
    const std::string effect = effectOf(command, machine, io);
    return effect.empty() ? line : line + "  " + effect;
}

bool isShown(const TraceOptions& options, int64_t count) {
    return count >= options.from && (count - options.from) % options.every == 0;
}

std::string commandsText(int64_t count) { return std::to_string(count) + (count == 1 ? " command" : " commands"); }

std::string endLine(TraceEnd end, int64_t count, const Machine& machine, int64_t maxCells) {
    switch (end) {
        case TraceEnd::kCompleted: return "completed after " + commandsText(count);
        case TraceEnd::kStepLimit: return "stopped at the step limit after " + commandsText(count);
        case TraceEnd::kTapeLimit: break;
    }
    return "stopped after " + commandsText(count) + ": command " + std::to_string(machine.pc()) +
           " would take the tape past " + std::to_string(maxCells) + " cells";
}

}  // namespace

char CellSymbol(const Tape& tape, int64_t position) {
    if (position < -tape.offset() || position >= tape.size()) return '_';
    return tape.cell(position) != 0 ? '1' : '0';
}

TraceEnd TraceProgram(Program& program, const TraceOptions& options, const ReadCode& readCode, std::ostream& out,
                      int64_t maxCells) {
    Machine machine(program, maxCells);
    RecordingIo io(readCode);
    out << kHeader << '\n';
    int64_t count = 0;
    TraceEnd end = TraceEnd::kCompleted;
    while (!machine.finished()) {
        if (count == options.steps) {
            end = TraceEnd::kStepLimit;
            break;
        }
        const int32_t index = machine.pc();
        const uint8_t command = program.commands()[index];
        io.printed = 0;
        if (!machine.step(io)) {
            end = TraceEnd::kTapeLimit;
            break;
        }
        ++count;
        if (isShown(options, count)) out << traceLine(count, index, command, machine, io, options.window) << '\n';
    }
    out << endLine(end, count, machine, maxCells) << '\n';
    return end;
}

std::string LoadToolProgram(int programArgument, const std::string& programFile, Program& program) {
    String* name =
        programArgument < 0 ? ovLiteral(u"code.txt") : ovAppArguments->elements<String*>()[programArgument + 1];
    switch (LoadProgram(name, program)) {
    case LoadResult::kNotFound: return "cannot open the program file " + programFile;
    case LoadResult::kTooLong: return "the program has more than 2147483647 commands";
    case LoadResult::kLoaded: break;
    }
    return "";
}
