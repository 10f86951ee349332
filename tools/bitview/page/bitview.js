// The page's side of bitview: it asks the server for steps and shows the
// state each answer carries.  The machine itself runs only in the server.
"use strict";

// Commands per run request and the pause between requests, per speed.
const SPEEDS = [
  { steps: 1, delay: 500 },
  { steps: 1, delay: 100 },
  { steps: 10, delay: 50 },
  { steps: 100, delay: 20 },
  { steps: 10000, delay: 0 },
  { steps: 100000, delay: 0 },
  { steps: 1000000, delay: 0 },
];
// A "?" resumes after the index it reads, 0 to 255.
const JUMP_TARGETS = 256;
const STATUS_TEXT = {
  none: "ready", steps: "ready", breakpoint: "at a breakpoint", input: "waiting for input",
  end: "finished", tapeLimit: "stopped: the tape would pass its cell limit",
};

const $ = (id) => document.getElementById(id);
const view = {
  program: null, state: null, output: [], running: false, resumeOnInput: false,
  commandSpans: [],
};

async function call(method, path, body) {
  const since = path.includes("?") ? "&" : "?";
  const response = await fetch(path + since + "since=" + view.output.length, { method, body });
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error || response.statusText);
  $("error").textContent = "";
  return answer;
}

function showError(error) {
  view.running = false;
  $("error").textContent = String(error.message || error);
  renderControls();
}

function renderProgram() {
  const program = view.program;
  $("name").textContent = program.name;
  const box = $("program");
  box.textContent = "";
  view.commandSpans = [];
  for (let i = 0; i < program.commands.length; ++i) {
    const span = document.createElement("span");
    span.className = "command";
    span.textContent = program.commands[i];
    span.dataset.index = i;
    span.title = "command " + i;
    if (program.hasJump && i >= 1 && i <= JUMP_TARGETS) span.classList.add("entry");
    box.appendChild(span);
    view.commandSpans.push(span);
  }
  const hidden = program.count - program.commands.length;
  $("program-note").textContent =
      (hidden > 0 ? "The first " + program.commands.length + " of " + program.count + " commands are shown. " : "") +
      (program.hasJump ? "Dotted: where a \"?\" can jump to; shaded: where the next \"?\" jumps." : "");
}

function renderTape(state) {
  const tape = $("tape");
  tape.textContent = "";
  for (let i = 0; i < state.cells.length; ++i) {
    const position = state.windowFrom + i;
    const symbol = state.cells[i];
    const cell = document.createElement("div");
    cell.className = "cell" + (symbol === "1" ? " one" : symbol === "_" ? " unreached" : "");
    cell.dataset.position = position;
    cell.textContent = symbol;
    const offset = position - state.head;
    if (offset >= 0 && offset < 8) cell.classList.add("byte");
    if (offset === 0) cell.classList.add("head", "byte-first");
    if (offset === 7) cell.classList.add("byte-last");
    if (position % 8 === 0 || offset === 0) {
      const mark = document.createElement("span");
      mark.className = "mark";
      mark.textContent = position;
      cell.appendChild(mark);
    }
    tape.appendChild(cell);
  }
  const head = tape.querySelector(".head");
  if (head) head.scrollIntoView({ block: "nearest", inline: "center" });
}

function charText(code) {
  return code >= 0x20 && code < 0x7f ? " '" + String.fromCharCode(code) + "'" : "";
}

function renderFacts(state) {
  $("head").textContent = state.head;
  $("byte").textContent = state.headByte + charText(state.headByte);
  $("size").textContent = state.size;
  $("offset").textContent = state.offset;
  $("count").textContent = state.count;
  $("queued").textContent = state.queued;
  $("pc").textContent = state.finished ? "none: the program has ended"
      : state.pc + " \"" + state.command + "\"" + (state.jumpTo >= 0 ? ", jumps to " + state.jumpTo : "");
  const status = $("status");
  status.textContent = view.running ? "running" : STATUS_TEXT[state.stop];
  status.className = "status " + (view.running ? "running" : state.stop);
}

function renderCommands(state, previous) {
  const spans = view.commandSpans;
  const mark = (index, name, on) => { if (index >= 0 && index < spans.length) spans[index].classList.toggle(name, on); };
  if (previous) {
    mark(previous.pc, "next", false);
    mark(previous.jumpTo, "jump-target", false);
    for (const index of previous.breakpoints) mark(index, "breakpoint", false);
  }
  for (const index of state.breakpoints) mark(index, "breakpoint", true);
  mark(state.jumpTo, "jump-target", true);
  if (!state.finished && state.pc < spans.length) {
    mark(state.pc, "next", true);
    spans[state.pc].scrollIntoView({ block: "nearest" });
  }
}

// Printable bytes as text, line feeds as line ends, others as their codes.
function appendOutput(bytes) {
  const box = $("output");
  let text = "";
  const flush = () => { if (text) box.appendChild(document.createTextNode(text)); text = ""; };
  for (const byte of bytes) {
    if ((byte >= 0x20 && byte < 0x7f) || byte === 10) {
      text += String.fromCharCode(byte);
    } else {
      flush();
      const code = document.createElement("span");
      code.className = "code";
      code.textContent = "\u27e8" + byte + "\u27e9";
      box.appendChild(code);
    }
  }
  flush();
  box.scrollTop = box.scrollHeight;
}

async function takeState(state) {
  for (;;) {
    if (state.outputFrom > view.output.length) {
      appendOutput([]);
      $("output").appendChild(document.createTextNode("\u2026"));
      view.output.length = state.outputFrom;
    }
    view.output.push(...state.output);
    appendOutput(state.output);
    if (state.outputLength <= view.output.length) break;
    state = await call("GET", "/api/state");
  }
  const previous = view.state;
  view.state = state;
  renderTape(state);
  renderFacts(state);
  renderCommands(state, previous);
  renderControls();
}

function renderControls() {
  const state = view.state;
  const over = !state || state.finished || state.stop === "tapeLimit";
  for (const id of ["step", "step100", "run"]) $(id).disabled = view.running || over;
  $("pause").disabled = !view.running;
  const speed = SPEEDS[$("speed").value - 1];
  $("speed-text").textContent = speed.steps + (speed.steps === 1 ? " command" : " commands") +
      (speed.delay ? " every " + speed.delay + " ms" : " per request");
}

async function step(count) {
  try {
    await takeState(await call("POST", "/api/step?count=" + count));
  } catch (error) {
    showError(error);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function run() {
  view.running = true;
  view.resumeOnInput = false;
  renderControls();
  try {
    while (view.running) {
      const speed = SPEEDS[$("speed").value - 1];
      const state = await call("POST", "/api/run?steps=" + speed.steps);
      if (state.stop !== "steps") {
        view.running = false;
        view.resumeOnInput = state.stop === "input";
      }
      await takeState(state);
      if (view.running && speed.delay) await sleep(speed.delay);
    }
  } catch (error) {
    showError(error);
  }
  if (view.state) renderFacts(view.state);
  if (view.resumeOnInput) $("input-line").focus();
}

function pause() {
  view.running = false;
  renderControls();
}

async function reset() {
  view.running = false;
  view.resumeOnInput = false;
  try {
    const state = await call("POST", "/api/reset");
    view.output = [];
    $("output").textContent = "";
    $("sent").textContent = "";
    await takeState(state);
  } catch (error) {
    showError(error);
  }
}

async function sendInput(event) {
  event.preventDefault();
  const line = $("input-line").value;
  $("input-line").value = "";
  try {
    const state = await call("POST", "/api/input", line + "\n");
    const item = document.createElement("li");
    item.textContent = line === "" ? "(empty line)" : line;
    $("sent").appendChild(item);
    await takeState(state);
    if (view.resumeOnInput && !view.running) run();
  } catch (error) {
    showError(error);
  }
}

async function toggleBreakpoint(event) {
  const index = event.target.dataset && event.target.dataset.index;
  if (index === undefined || !view.state) return;
  const on = view.state.breakpoints.includes(Number(index)) ? 0 : 1;
  try {
    await takeState(await call("POST", "/api/breakpoint?at=" + index + "&on=" + on));
  } catch (error) {
    showError(error);
  }
}

async function start() {
  $("step").addEventListener("click", () => step(1));
  $("step100").addEventListener("click", () => step(100));
  $("run").addEventListener("click", run);
  $("pause").addEventListener("click", pause);
  $("reset").addEventListener("click", reset);
  $("speed").addEventListener("input", renderControls);
  $("input-form").addEventListener("submit", sendInput);
  $("program").addEventListener("click", toggleBreakpoint);
  try {
    view.program = await call("GET", "/api/program");
    renderProgram();
    await takeState(await call("GET", "/api/state"));
  } catch (error) {
    showError(error);
  }
}

start();
