#!/usr/bin/python3
"""Opens a page in headless Chromium and watches what it shows, as a person would see it.

Usage: browser_page.py URL OUTDIR SECONDS

Drives Chromium over its DevTools protocol on a pipe (no network port, no extra package):
loads URL at a desktop's width, then every half second notes what the page shows (every
element with a data-v attribute, the rows of its tables, how often it refreshed itself and
whether it was ever loaded again) until the validation run it shows has ended or SECONDS have
passed, then takes a screenshot of the whole page at a desktop's width and at a phone's
(OUTDIR/status-page-desktop.png, OUTDIR/status-page-phone.png). Prints the notes as one JSON
array on standard output. Exit status 0 when all went through, 1 otherwise (with the reason on
standard error).
"""
import base64
import fcntl
import json
import os
import subprocess
import sys
import tempfile
import time

SNAPSHOT = r"""
(() => {
  const values = {};
  for (const el of document.querySelectorAll('[data-v]')) values[el.dataset.v] = el.textContent;
  const table = (id) => [...document.querySelectorAll('#' + id + ' tbody tr')]
      .map((tr) => [...tr.cells].map((td) => td.textContent));
  return {
    values,
    regions: table('regions'),
    sources: table('sources'),
    probes: table('probes'),
    api: table('api'),
    refreshes: Number(document.body.dataset.refreshes || 0),
    navigations: performance.getEntriesByType('navigation').length,
    loaded_at: window.__loadedAt || (window.__loadedAt = performance.timeOrigin),
    chart_points: document.querySelector('#line-rows').getAttribute('points').split(' ').length,
    offline: document.querySelector('#offline').classList.contains('shown'),
    text: document.body.innerText,
  };
})()
"""


class Browser:
    """Chromium with its DevTools protocol on file descriptors 3 (commands) and 4 (answers)."""

    def __init__(self, profile):
        to_chrome_read, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_write = os.pipe()
        # Numbers above 4 for the child's ends, so the shell can put them at 3 and 4 in any order.
        read_end = fcntl.fcntl(to_chrome_read, fcntl.F_DUPFD, 10)
        write_end = fcntl.fcntl(from_chrome_write, fcntl.F_DUPFD, 10)
        for fd in (to_chrome_read, from_chrome_write):
            os.close(fd)
        arguments = ["--headless", "--no-sandbox", "--disable-gpu",
                     "--disable-background-networking", "--no-first-run",
                     "--no-default-browser-check", "--disable-extensions", "--disable-sync",
                     "--hide-scrollbars", "--mute-audio", "--user-data-dir=" + profile,
                     "--remote-debugging-pipe", "--window-size=1280,900", "about:blank"]
        self.process = subprocess.Popen(
            ["bash", "-c", 'exec chromium "$@" 3<&%d 4>&%d %d<&- %d>&-'
             % (read_end, write_end, read_end, write_end), "chromium"] + arguments,
            pass_fds=(read_end, write_end), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=open("/tmp/chr.err","w"))
        os.close(read_end)
        os.close(write_end)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def send(self, method, params=None, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_chrome, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(method + ": " + json.dumps(reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_chrome, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium ended")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def wait_event(self, method, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            for event in self.events:
                if event.get("method") == method:
                    self.events.remove(event)
                    return event
            self.events.append(self.receive())
        raise RuntimeError("no " + method + " within " + str(seconds) + " s")

    def attach(self):
        targets = self.send("Target.getTargets", session=False)["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget",
                                 {"targetId": page["targetId"], "flatten": True},
                                 session=False)["sessionId"]
        self.send("Page.enable")
        self.send("Runtime.enable")

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")

    def screenshot(self, path, width, height, mobile):
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
        time.sleep(0.3)  # the layout follows the new width
        full = self.evaluate("document.documentElement.scrollHeight")
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": max(height, full), "deviceScaleFactor": 1,
                   "mobile": mobile})
        time.sleep(0.3)
        shot = self.send("Page.captureScreenshot", {"format": "png"})
        with open(path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))

    def close(self):
        try:
            self.send("Browser.close", session=False)
        except (RuntimeError, OSError):
            pass
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def main():
    url, outdir, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    os.makedirs(outdir, exist_ok=True)
    notes = []
    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(profile)
        try:
            browser.attach()
            browser.send("Page.navigate", {"url": url})
            browser.wait_event("Page.loadEventFired", 20)
            deadline = time.time() + seconds
            while True:
                note = browser.evaluate(SNAPSHOT)
                notes.append(note)
                if note["values"].get("val-state") == "已结束" or time.time() > deadline:
                    break
                time.sleep(0.5)
            # One more refresh after the end, so the last counts are those of the ended run.
            seen = notes[-1]["refreshes"]
            wait_until = time.time() + 6
            while time.time() < wait_until and browser.evaluate(SNAPSHOT)["refreshes"] <= seen:
                time.sleep(0.2)
            notes.append(browser.evaluate(SNAPSHOT))
            browser.screenshot(os.path.join(outdir, "status-page-desktop.png"), 1280, 900, False)
            browser.screenshot(os.path.join(outdir, "status-page-phone.png"), 390, 844, True)
            notes.append(browser.evaluate(SNAPSHOT))
        except (RuntimeError, OSError, StopIteration) as failure:
            print(failure, file=sys.stderr)
            browser.close()
            return 1
        browser.close()
    json.dump(notes, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
