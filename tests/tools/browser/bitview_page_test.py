#!/usr/bin/env python3
"""bitview's page in headless Chromium, driven through chromedriver's
WebDriver HTTP API on 127.0.0.1: Step pressed ten times, then Run; the tape,
head and output the page shows must be bittrace's for the same program and
input.  A screenshot is kept.  Exits 77 (skipped) when Chromium or its
driver is not installed.

usage: bitview_page_test.py BITVIEW BITTRACE EXAMPLES SCREENSHOT
"""
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
SKIPPED = 77
BOUND = 30  # seconds any wait may take
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
# hello.txt, then two lines read and printed back: what the page types.
PROGRAM = "greet.txt"
INPUT = ["B", "A"]
RADIUS = 32  # the cells the page shows on each side of the head


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Driver:
    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=BOUND) as answer:
            return json.loads(answer.read())["value"]

    def start(self, profile):
        options = {"binary": CHROMIUM, "args": [
            "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--user-data-dir=" + profile, "--window-size=1280,1000"]}
        answer = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {"goog:chromeOptions": options}}})
        self.session = "/session/" + answer["sessionId"]

    def go(self, url):
        self.call("POST", self.session + "/url", {"url": url})

    def find(self, css):
        return self.call("POST", self.session + "/element", {"using": "css selector", "value": css})[ELEMENT]

    def click(self, css):
        self.call("POST", self.session + "/element/%s/click" % self.find(css), {})

    def type(self, css, text):
        self.call("POST", self.session + "/element/%s/value" % self.find(css), {"text": text})

    def script(self, code):
        return self.call("POST", self.session + "/execute/sync", {"script": code, "args": []})

    def wait_for(self, code):
        deadline = time.monotonic() + BOUND
        while time.monotonic() < deadline:
            if self.script(code):
                return
            time.sleep(0.05)
        raise AssertionError("the page never showed: " + code)

    def screenshot(self, path):
        with open(path, "wb") as image:
            image.write(base64.b64decode(self.call("GET", self.session + "/screenshot")))

    def quit(self):
        self.call("DELETE", self.session)


# What the page shows: the head, the cells around it, the counter and the
# bytes the output holds (printable ones as text, others as their codes).
SHOWN = """
const cells = [...document.querySelectorAll('#tape .cell')].map(c => c.firstChild.textContent).join('');
const head = document.querySelector('#tape .cell.head');
return {head: Number(head.dataset.position), headText: document.getElementById('head').textContent,
        cells: cells, count: Number(document.getElementById('count').textContent),
        output: document.getElementById('output').textContent,
        status: document.getElementById('status').textContent};
"""


def write_program(examples, folder):
    with open(os.path.join(examples, "hello.txt")) as hello:
        text = hello.read()
    with open(os.path.join(folder, PROGRAM), "w") as program:
        program.write(text + "\n,.,.\n")


def trace(bittrace, examples, steps):
    """The last line bittrace shows after `steps` commands: count, head, cells, and the bytes printed."""
    args = [bittrace, "--window", str(RADIUS)] + (["--steps", str(steps)] if steps else []) + [PROGRAM]
    run = subprocess.run(args, cwd=examples, input="\n".join(INPUT) + "\n", capture_output=True, text=True,
                         timeout=BOUND, check=True)
    lines = run.stdout.splitlines()[1:-1]
    printed = ""
    for line in lines:
        if " print " in line and "nothing printed" not in line:
            code = int(line.split(" print ")[1].split()[0])
            printed += chr(code) if 0x20 <= code < 0x7F or code == 10 else "\u27e8%d\u27e9" % code
    fields = lines[-1].split()
    return {"count": int(fields[0]), "head": int(fields[3]), "cells": fields[4].replace("[", "").replace("]", ""),
            "output": printed}


def expect_same(shown, traced, when):
    for key in ("count", "head", "cells", "output"):
        if shown[key] != traced[key]:
            raise AssertionError("%s: the page shows %s %r, bittrace %r" % (when, key, shown[key], traced[key]))
    if shown["headText"] != str(traced["head"]):
        raise AssertionError("%s: the head's number is %r" % (when, shown["headText"]))


def main():
    bitview, bittrace, examples, screenshot = sys.argv[1:5]
    missing = [path for path in (CHROMIUM, CHROMEDRIVER) if not os.access(path, os.X_OK)]
    if missing:
        print("skipped: %s not installed (apt-get install chromium chromium-driver)" % " and ".join(missing))
        return SKIPPED
    profile = tempfile.mkdtemp(prefix="bitview-chromium-")
    folder = tempfile.mkdtemp(prefix="bitview-program-")
    write_program(examples, folder)
    server = subprocess.Popen([bitview, "--port", "0", PROGRAM], cwd=folder, stdout=subprocess.PIPE, text=True)
    driver_port = free_port()
    chromedriver = subprocess.Popen([CHROMEDRIVER, "--port=%d" % driver_port, "--allowed-ips=127.0.0.1"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    driver = Driver(driver_port)
    try:
        url = server.stdout.readline().strip().split(" ", 1)[1]
        deadline = time.monotonic() + BOUND
        while True:
            try:
                driver.start(profile)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        driver.go(url)
        driver.wait_for("return document.querySelectorAll('#tape .cell').length > 0")
        for line in INPUT:
            driver.type("#input-line", line + "\n")
        driver.wait_for("return document.getElementById('queued').textContent === '%d'" % len(INPUT))
        for pressed in range(1, 11):
            driver.click("#step")
            driver.wait_for("return document.getElementById('count').textContent === '%d'" % pressed)
        expect_same(driver.script(SHOWN), trace(bittrace, folder, 10), "after Step ten times")
        driver.click("#run")
        driver.wait_for("return document.getElementById('status').textContent === 'finished'")
        expect_same(driver.script(SHOWN), trace(bittrace, folder, None), "after Run")
        driver.screenshot(screenshot)
        driver.quit()
        print("the page matches bittrace; screenshot in " + screenshot)
        return 0
    finally:
        chromedriver.terminate()
        server.terminate()
        for process in (chromedriver, server):
            try:
                process.wait(timeout=BOUND)
            except subprocess.TimeoutExpired:
                process.kill()
        for made in (profile, folder):
            shutil.rmtree(made, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
