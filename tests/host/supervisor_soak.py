#!/usr/bin/env python3
"""100 crash-and-restore cycles of a served panel: each cycle counts once and
crashes the panel; the supervisor brings the session back each time. Its
threads and resident memory stay flat (between cycle 10 and cycle 100), and
the restored count is right at the end.
Usage: supervisor_soak.py ZARN_HOST CRASH_PANEL PANEL_DIR [CYCLES]"""
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import urllib.error
import urllib.request

host, panel, panel_dir = sys.argv[1:4]
cycles = int(sys.argv[4]) if len(sys.argv) > 4 else 100


def post(url, line):
    request = urllib.request.Request(url + "api/step", data=json.dumps({"step": line}).encode(),
                                     headers={"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=60) as answer:
            return answer.status
    except urllib.error.HTTPError as e:
        return e.code


def status_of(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return int(fields["Threads"]), int(fields["VmRSS"].split()[0])


with tempfile.TemporaryDirectory() as crash_dir:
    supervisor = subprocess.Popen([host, "--quiet", "--panel", panel, "--panel-dir", panel_dir, "--crash-dir", crash_dir,
                                   "--serve", "127.0.0.1:0"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    # Its standard error (every crash reported), for a failure's report.
    errors = []
    reader = threading.Thread(target=lambda: errors.extend(line.rstrip("\n") for line in supervisor.stderr), daemon=True)
    reader.start()
    url = None
    cycle = 0
    baseline = None
    try:
        for line in supervisor.stdout:
            found = re.search(r"serving the panel at (http://\S+)", line)
            if found:
                url = found.group(1)
                break
        assert url, "the host did not start"
        for cycle in range(1, cycles + 1):
            assert post(url, "press Count") == 200, f"cycle {cycle}: press Count failed"
            assert post(url, "press Fault") == 502, f"cycle {cycle}: the fault did not crash the panel"
            if cycle == 10:
                baseline = status_of(supervisor.pid)
        threads, rss = status_of(supervisor.pid)
        with urllib.request.urlopen(url + "api/state", timeout=60) as answer:
            state = json.load(answer)
        counter = dict(next(c for c in state["panels"][0]["controls"] if c["id"] == "Counter")["properties"])
        print(f"cycle 10: {baseline[0]} threads, {baseline[1]} KiB; cycle {cycles}: {threads} threads, {rss} KiB")
        assert counter["count"] == str(cycles), f"count {counter['count']} after {cycles} cycles"
        assert threads <= baseline[0] + 2, "the supervisor's threads grew"
        assert rss <= baseline[1] + 8 * 1024, "the supervisor's memory grew by more than 8 MiB"
        assert len(os.listdir(crash_dir)) == cycles, "one scenario a crash"
    except Exception:
        supervisor.terminate()
        supervisor.wait(timeout=30)
        reader.join(timeout=30)
        print(f"failed in cycle {cycle} of {cycles}; zarn_host's exit status: {supervisor.returncode}; "
              f"the last 30 lines of its standard error:", flush=True)
        print("\n".join("    " + line for line in errors[-30:]), flush=True)
        raise
    finally:
        supervisor.terminate()
        supervisor.wait(timeout=30)
