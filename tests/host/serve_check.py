#!/usr/bin/env python3
"""zarn_host --serve end to end, for a build whose programs run under an
emulator (zarn_host.exe under Wine): the page and its API on the K7 panel, a
take, the session recorded and replayed, a rebuilt library reloaded while the
panel runs; with the crash panel, a crash and a hung step restored by the
supervisor with the crash report; the worker ending with the supervisor; on
a facility with large routers, the state passed on whole and readers that
leave it midway.

Usage: serve_check.py EMULATOR HOST K7_DLL FACILITY CRASH_DLL CRASH_DIR
EMULATOR may be "" (the programs run as they are)."""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

emulator, host, k7_dll, facility, crash_dll, crash_panel_dir = sys.argv[1:7]
prefix = [emulator] if emulator else []
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def windows_path(path):
    """The path as the emulated program names it (Wine maps / to Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\") if emulator else path


class Served:
    """zarn_host --serve on a free loopback port, its output collected."""

    def __init__(self, args, work):
        self.out, self.err = [], []
        self.process = subprocess.Popen(prefix + [host] + args + ["--crash-dir", work, "--serve", "127.0.0.1:0"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.readers = [threading.Thread(target=self._collect, args=(stream, lines), daemon=True)
                        for stream, lines in ((self.process.stdout, self.out), (self.process.stderr, self.err))]
        for reader in self.readers:
            reader.start()
        self.url = None
        found = self.wait_for(self.out, r"serving the panel at (http://\S+/)", 120)
        if found:
            self.url = found.group(1)

    @staticmethod
    def _collect(stream, lines):
        for raw in stream:
            lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))

    def wait_for(self, lines, pattern, seconds):
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            for line in list(lines):
                found = re.search(pattern, line)
                if found:
                    return found
            if self.process.poll() is not None:
                for reader in self.readers:  # the last lines may still be on their way: read to the end
                    reader.join(timeout=max(0.0, until - time.monotonic()))
                return next((m for m in (re.search(pattern, l) for l in list(lines)) if m), None)
            time.sleep(0.1)
        return None

    def get(self, path):
        with urllib.request.urlopen(self.url + path, timeout=60) as answer:
            return answer.status, answer.read().decode("utf-8", "replace")

    def post(self, path, body):
        request = urllib.request.Request(self.url + path, data=json.dumps(body).encode(),
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as answer:
                return answer.status, answer.read().decode("utf-8", "replace")
        except urllib.error.HTTPError as e:
            return e.code, e.read().decode("utf-8", "replace")

    def state(self):
        return json.loads(self.get("api/state")[1])

    def control(self, name):
        state = self.state()
        if not state.get("panels"):
            return {}
        control = next((c for c in state["panels"][0]["controls"] if c["id"] == name), None)
        return dict(control["properties"]) if control else {}

    def wait_state(self, test, seconds):
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            try:
                if test(self):
                    return True
            except (urllib.error.URLError, OSError, ValueError, KeyError):
                pass
            time.sleep(0.2)
        return False

    def tell_if_failed(self, failures_before):
        """After a session with a failed check: how the host ended and its last lines."""
        if len(failures) == failures_before:
            return
        print(f"  zarn_host's exit status: {self.process.poll()}; its last lines on stderr:")
        print("\n".join("    " + line for line in self.err[-30:]), flush=True)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=30)


def processes_naming(token):
    """The processes whose command line holds token (this test's own folder)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if token.encode() in f.read():
                    found.append(int(pid))
        except OSError:
            pass
    return found


def leave_mid_state(url, keep):
    """Asks for the whole state on a raw connection and hangs up after keep bytes."""
    address = re.match(r"http://([^:/]+):(\d+)/", url)
    with socket.create_connection((address.group(1), int(address.group(2))), timeout=30) as s:
        s.sendall(f"GET /api/state HTTP/1.1\r\nHost: {address.group(1)}:{address.group(2)}\r\n\r\n".encode())
        got = 0
        while got < keep:
            data = s.recv(4096)
            if not data:
                break
            got += len(data)
        return got


def large_session(work):
    """K7 and two generated routers of 4,096 x 4,096, every port named: megabytes of state."""
    with open(facility) as f:
        large = json.load(f)
    for r, area in enumerate("AB"):
        names = {str(n): f"{area} Port {n:04d}" for n in range(1, 4097)}
        large["instances"].append({"name": f"Gen Router {area}", "device": 301 + r, "offset": 0})
        large["routers"].append({"device": 301 + r, "sources": 4096, "destinations": 4096, "sourceNames": names,
                                 "destinationNames": names,
                                 "crosspoints": {str(n): (n * 7) % 4096 + 1 for n in range(1, 4097)}})
    path = os.path.join(work, "large.json")
    with open(path, "w") as f:
        json.dump(large, f)
    failures_before = len(failures)
    served = Served(["--quiet", "--panel", windows_path(k7_dll), "--facility", windows_path(path), "--panel-dir",
                     windows_path(os.path.dirname(facility))], work)
    try:
        if not check(served.url is not None, "large: the supervisor says where it serves"):
            return
        workers = [p for p in processes_naming(work) if p != served.process.pid]
        status, text = served.get("api/state")
        state = json.loads(text)
        rows = [len(r["destinations"]) for r in state["routers"] if r["device"] > 300]
        check(status == 200 and rows == [4096, 4096] and len(text) > 1000000,
              f"large: the whole state is passed on ({len(text)} bytes)")
        check(served.post("api/step", {"step": "route 302 4096 17"})[0] == 200, "large: a route answers 200")
        got = [leave_mid_state(served.url, 200000) for _ in range(12)]
        check(all(g >= 200000 for g in got), "large: readers leave twelve states midway")
        status, text = served.get("api/state")
        state = json.loads(text)
        check(status == 200 and state["routers"][-1]["destinations"][4095]["source"] == 17,
              "large: the state is read whole after them, with the route")
        check(workers and all(p in processes_naming(work) for p in workers),
              "large: the same worker serves (none ended)")
    finally:
        served.stop()
        served.tell_if_failed(failures_before)


def k7_session(work):
    panel = os.path.join(work, "k7_mon.dll")
    shutil.copy(k7_dll, panel)
    # Not quiet: the trace says when the library is reloaded.
    audit = os.path.join(work, "audit.jsonl")
    failures_before = len(failures)
    served = Served(["--panel", windows_path(panel), "--facility", facility, "--audit", windows_path(audit)], work)
    try:
        if not check(served.url is not None, "K7: the supervisor says where it serves"):
            return
        status, page = served.get("")
        check(status == 200 and "<html" in page, "K7: the page answers")
        state = served.state()
        check(state["loaded"] and state["library"] == "k7_mon.dll", "K7: /api/state has the panel loaded")
        try:
            served.get("api/state?router=999")
            refused = None
        except urllib.error.HTTPError as e:
            refused = (e.code, e.read().decode("utf-8", "replace"))
        check(refused == (404, '{"error":"no router 999"}'), f"K7: the worker's refusal of a state is passed on: {refused}")
        check(served.post("api/step", {"step": 'pick Sources "Cam 1"'})[0] == 200, "K7: a take answers 200")
        check(served.wait_state(lambda s: s.control("Vidtally_1").get("text") == "Cam 1", 30),
              "K7: the take's revertive reaches the tally")
        check(served.post("api/step", {"step": "route 101 40 3", "session": "s1"})[0] == 200,
              "K7: a page's route answers 200")

        # The worker alone writes the audit trail: one line a change, each JSON.
        with open(audit) as f:
            lines = [json.loads(line) for line in f]
        by_page = [l for l in lines if l["origin"] == {"kind": "page", "session": "s1"}]
        check(len(by_page) == 1 and by_page[0]["router"] == 101 and by_page[0]["destination"] == 40,
              "K7: the audit trail has the page's route once")
        check(any(l["origin"]["kind"] == "panel" and l.get("during") == {"kind": "api"} for l in lines),
              "K7: the audit trail has the panel's take during the API's step")

        # The session recorded by the page replays as a scenario.
        status, session = served.post("api/session", {})
        check(status == 200 and 'pick Sources "Cam 1"' in session, "K7: the session is recorded")
        scenario = os.path.join(work, "session.scenario")
        with open(scenario, "w") as f:
            f.write(session)
        replay = subprocess.run(prefix + [host, "--quiet", "--panel", windows_path(panel), "--facility", facility,
                                          "--scenario", windows_path(scenario)], capture_output=True, timeout=120)
        check(replay.returncode == 0, "K7: the recorded session replays")

        # A rebuild replaces the DLL while it is served: the host runs a copy,
        # so the file can be replaced, and the worker loads the new one.
        fresh = os.path.join(work, "fresh.dll")
        shutil.copy(k7_dll, fresh)
        os.utime(fresh, (time.time() + 5, time.time() + 5))
        replace = subprocess.run(prefix + ["cmd", "/c", "copy", "/y", windows_path(fresh), windows_path(panel)]
                                 if emulator else ["cp", fresh, panel], capture_output=True, timeout=120)
        check(replace.returncode == 0, "K7: the served DLL can be replaced")
        check(served.wait_for(served.out, "the panel library changed on disk: reloading it", 30) is not None,
              "K7: the changed library is reloaded")
        check(served.wait_state(lambda s: s.state()["loaded"], 30), "K7: the reloaded panel runs")
    finally:
        served.stop()
        served.tell_if_failed(failures_before)
    # Under Wine a signal from Linux is no console Ctrl-C: only the native run's status counts.
    check(emulator or served.process.returncode == 0, "K7: Ctrl-C ends the served session with status 0")


def crash_session(work):
    failures_before = len(failures)
    served = Served(["--quiet", "--step-timeout", "3", "--panel", crash_dll, "--panel-dir", crash_panel_dir], work)
    try:
        if not check(served.url is not None, "crash: the supervisor says where it serves"):
            return
        check(served.post("api/step", {"step": "press Count"})[0] == 200, "crash: press Count")
        check(served.post("api/step", {"step": "press Fault segv"})[0] == 502, "crash: the fault answers 502")
        check(served.wait_for(served.err, r'crashed at step "press Fault segv": (access violation|SIGSEGV)', 30) is not None,
              "crash: the supervisor names the step and the exception")
        check(served.wait_state(lambda s: s.state()["loaded"] and s.control("Counter").get("count") == "1", 60),
              "crash: the session is restored (count 1)")
        fault = served.state().get("fault", {})
        check("press Fault segv" in fault.get("message", ""), "crash: the state carries the fault")
        check(len([n for n in os.listdir(work) if n.endswith(".scenario")]) == 1,
              "crash: the session up to the crash is written")

        # A step past the time limit: the worker writes its report and ends.
        served.post("api/step", {"step": "press Fault hang"})
        check(served.wait_for(served.err, r'crashed at step "press Fault hang": the step ran for more than 3 s', 60)
              is not None, "hang: the supervisor ends the hung worker")
        check(served.wait_for(served.err, r"crash step: .*press Fault hang", 30) is not None,
              "hang: the worker's report names the step")
        check(served.wait_state(lambda s: s.state()["loaded"] and s.control("Counter").get("count") == "1", 60),
              "hang: the session is restored")

        # The supervisor killed outright takes its worker with it.
        workers = [p for p in processes_naming(work) if p != served.process.pid]
        if check(len(workers) > 0, "kill: the worker is found by its command line"):
            served.process.kill()
            served.process.wait(timeout=30)
            until = time.monotonic() + 30
            while time.monotonic() < until and any(p in processes_naming(work) for p in workers):
                time.sleep(0.2)
            check(not any(p in processes_naming(work) for p in workers), "kill: the worker ends with the supervisor")
    finally:
        served.stop()
        served.tell_if_failed(failures_before)


with tempfile.TemporaryDirectory() as k7_work:
    k7_session(k7_work)
with tempfile.TemporaryDirectory() as crash_work:
    crash_session(crash_work)
with tempfile.TemporaryDirectory() as large_work:
    large_session(large_work)
print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
