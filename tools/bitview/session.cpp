#include "tools/bitview/session.h"

#include <algorithm>

#include "runtime/charclass.h"
#include "tools/bitview/json.h"
#include "tools/trace.h"

namespace {

// The most output bytes one state carries; the page asks again for more.
constexpr int64_t kOutputPerState = 64 * 1024;
// The commands the page is sent; a longer program is shown up to there.
constexpr int64_t kShownCommands = 1 << 16;

const char* stopName(Session::Stop stop) {
    switch (stop) {
        case Session::Stop::kNone: return "none";
        case Session::Stop::kStepLimit: return "steps";
        case Session::Stop::kBreakpoint: return "breakpoint";
        case Session::Stop::kInput: return "input";
        case Session::Stop::kEnd: return "end";
        case Session::Stop::kTapeLimit: return "tapeLimit";
    }
    return "none";
}

}  // namespace

int32_t LineCode(std::string_view line) {
    if (!line.empty() && ovIsCWhiteSpace(static_cast<uint8_t>(line.back()))) line.remove_suffix(1);
    return line.empty() ? -1 : static_cast<uint8_t>(line.front());
}

Session::Session(Program& program, std::string name) : program_(program), name_(std::move(name)) { reset(); }

void Session::reset() {
    machine_.emplace(program_);
    count_ = 0;
    stop_ = Stop::kNone;
    input_.clear();
    output_.clear();
    outputDropped_ = 0;
}

Session::Stop Session::step(int64_t count) { return advance(count, false); }
Session::Stop Session::run(int64_t count) { return advance(count, true); }

Session::Stop Session::advance(int64_t count, bool atBreakpoints) {
    Machine& machine = *machine_;
    for (int64_t done = 0;; ++done) {
        if (machine.finished()) return stop_ = Stop::kEnd;
        if (done == count) return stop_ = Stop::kStepLimit;
        const uint8_t command = program_.commands()[machine.pc()];
        if (atBreakpoints && done > 0 && breakpoints_.contains(machine.pc())) return stop_ = Stop::kBreakpoint;
        if (command == kCommandRead && input_.empty()) return stop_ = Stop::kInput;
        if (!machine.step(*this)) return stop_ = Stop::kTapeLimit;
        ++count_;
    }
}

void Session::print(uint8_t code) {
    if (output_.size() == kKeptOutput) {
        output_.erase(0, kKeptOutput / 2);
        outputDropped_ += kKeptOutput / 2;
    }
    output_ += static_cast<char>(code);
}

int32_t Session::readCode() {
    const int32_t code = input_.front();
    input_.pop_front();
    return code;
}

bool Session::queueInput(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (input_.size() + lines > kMostQueuedLines) return false;
    for (;;) {
        const size_t lf = text.find('\n');
        input_.push_back(LineCode(text.substr(0, lf)));
        if (lf == std::string_view::npos) return true;
        text.remove_prefix(lf + 1);
    }
}

bool Session::setBreakpoint(int64_t index, bool on) {
    if (index < 0 || index >= program_.commandCount()) return false;
    if (on)
        breakpoints_.insert(static_cast<int32_t>(index));
    else
        breakpoints_.erase(static_cast<int32_t>(index));
    return true;
}

std::string Session::windowCells() const {
    std::string cells;
    const int64_t head = machine_->head();
    for (int64_t position = head - kWindowRadius; position <= head + kWindowRadius; ++position)
        cells += CellSymbol(machine_->tape(), position);
    return cells;
}

// The eight cells "." and "?" read, the head's the most significant; cells
// the tape has not reached read as 0.
int32_t Session::headByte() const {
    int32_t value = 0;
    for (int64_t k = 0; k < 8; ++k) value = value << 1 | (CellSymbol(machine_->tape(), machine_->head() + k) == '1');
    return value;
}

std::string Session::programJson() const {
    const int64_t shown = std::min(program_.commandCount(), kShownCommands);
    const std::string_view commands(reinterpret_cast<const char*>(program_.commands()), static_cast<size_t>(shown));
    JsonObject json;
    json.add("name", JsonString(name_));
    json.add("count", program_.commandCount());
    json.add("commands", JsonString(commands));
    json.add("hasJump", commands.find(static_cast<char>(kCommandJump)) != std::string_view::npos);
    return json.text();
}

std::string Session::stateJson(int64_t outputFrom) const {
    const Machine& machine = *machine_;
    const bool finished = machine.finished();
    const char command = finished ? 0 : static_cast<char>(program_.commands()[machine.pc()]);
    const int64_t outputLength = outputDropped_ + static_cast<int64_t>(output_.size());
    const int64_t from = std::clamp(outputFrom, outputDropped_, outputLength);
    const int64_t sent = std::min(outputLength - from, kOutputPerState);
    JsonObject json;
    json.add("pc", machine.pc());
    json.add("command", JsonString(finished ? std::string_view() : std::string_view(&command, 1)));
    json.add("finished", finished);
    json.add("count", count_);
    json.add("stop", JsonString(stopName(stop_)));
    json.add("head", machine.head());
    json.add("size", machine.tape().size());
    json.add("offset", machine.tape().offset());
    json.add("windowFrom", machine.head() - kWindowRadius);
    json.add("cells", JsonString(windowCells()));
    json.add("headByte", headByte());
    json.add("jumpTo", command == static_cast<char>(kCommandJump) ? headByte() + 1 : -1);
    json.add("queued", static_cast<int64_t>(input_.size()));
    json.add("breakpoints", JsonNumbers(breakpoints_.begin(), breakpoints_.end()));
    json.add("outputLength", outputLength);
    json.add("outputFrom", from);
    const std::string_view bytes =
        std::string_view(output_).substr(static_cast<size_t>(from - outputDropped_), static_cast<size_t>(sent));
    json.add("output", JsonNumbers(bytes.begin(), bytes.end(), [](char c) { return static_cast<uint8_t>(c); }));
    return json.text();
}
