// A bounded run of the interpreter's machine over arbitrary program bytes
// and console lines equals the plain, command-by-command reference run: the
// same output, head, command counter and tape.
//
// Input: the program's bytes up to the first NUL (only the five command
// characters count), then the console lines, separated by line feeds.
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/program.h"
#include "fuzz/fuzz_support.h"
#include "tests/app/interpreter_test_support.h"

namespace {

// Commands the reference may take: a run that does not end within them is
// not compared (the machine has no bound of its own).
constexpr int64_t kMaxSteps = 20000;

struct MachineRun {
    Machine::Outcome outcome;
    std::string output;
    int32_t head;
    int32_t pc;
    int64_t tapeSize;
    int64_t tapeOffset;
    std::vector<uint8_t> cells;  // from position -tapeOffset up
};

// The one place that knows the optimised machine's interface.
MachineRun runMachine(const std::string& commands, const std::vector<int32_t>& codes) {
    Program program = programFrom(commands);
    Machine machine(program);
    ScriptedIo io(codes);
    MachineRun run{machine.run(io), io.output, machine.head(), machine.pc(), machine.tape().size(),
                   machine.tape().offset(), {}};
    for (int64_t p = -run.tapeOffset; p < run.tapeSize; ++p) run.cells.push_back(static_cast<uint8_t>(machine.tape().cell(p)));
    return run;
}

// The first byte of each line, -1 for an empty one, as "," reads them.
std::vector<int32_t> codesOf(const std::string& lines) {
    std::vector<int32_t> codes;
    size_t start = 0;
    while (start < lines.size()) {
        const size_t end = std::min(lines.find('\n', start), lines.size());
        codes.push_back(end > start ? static_cast<uint8_t>(lines[start]) : -1);
        start = end + 1;
    }
    return codes;
}

}  // namespace

const size_t ovFuzzMaxInput = 4096;

void ovFuzzCheck(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = std::min(input.find('\0'), input.size());
    std::string commands;
    for (const char c : input.substr(0, split))
        if (isCommandCode(static_cast<uint8_t>(c))) commands.push_back(c);
    const std::vector<int32_t> codes = codesOf(split < input.size() ? input.substr(split + 1) : std::string());

    ReferenceRun reference;
    reference.run(commands, codes, kMaxSteps);
    if (!reference.finished) return;
    const MachineRun run = runMachine(commands, codes);
    OV_FUZZ_CHECK(run.outcome == Machine::Outcome::kCompleted);
    OV_FUZZ_CHECK(run.output == reference.output);
    OV_FUZZ_CHECK(run.head == reference.head);
    OV_FUZZ_CHECK(run.pc == reference.pc);
    OV_FUZZ_CHECK(run.tapeSize == reference.tapeSize);
    OV_FUZZ_CHECK(run.tapeOffset == reference.tapeOffset);
    OV_FUZZ_CHECK(run.cells == reference.tape);
}
