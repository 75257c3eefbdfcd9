#!/usr/bin/python3
"""The window program under a small limit of open files, with more idle connections than the limit
allows: the server neither spins (its CPU time is measured) nor stops answering the page's own
request, which comes after all of them.

Usage: limits_test.py UI_PROGRAM EXAMPLES_FOLDER
"""
import http.client
import json
import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse

ui_program, examples = sys.argv[1:3]
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
# (limit of open files, idle connections): the first lets the cap of connections act, the second
# is below it, so the accepts themselves run out of descriptors.
CASES = [(64, 70), (24, 70)]
failures = 0


def check(condition, what):
    global failures
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures += 1


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        # The command name in parentheses may hold spaces; the counts follow its closing one.
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def call(port, token, method, path):
    """The status and JSON reply, or (None, {}) when no reply came within 10 s."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    try:
        connection.request(method, path, body=b"{}" if method == "POST" else None,
                           headers={"X-Token": token})
        response = connection.getresponse()
        return response.status, json.loads(response.read())
    except OSError as error:
        print(f"no reply to {method} {path}: {error}")
        return None, {}
    finally:
        connection.close()


for limit, idle in CASES:
    print(f"-- {idle} idle connections under a limit of {limit} open files")
    state = tempfile.mkdtemp(prefix="orvane-limits-")
    server = subprocess.Popen(
        [ui_program, "--no-browser", examples], stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL, text=True, env=dict(os.environ, XDG_STATE_HOME=state),
        preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit)))
    sockets = []
    try:
        address = server.stdout.readline().strip()
        parsed = urllib.parse.urlsplit(address)
        port, token = parsed.port, parsed.fragment.split("=", 1)[1]
        for _ in range(idle):
            sockets.append(socket.create_connection(("127.0.0.1", port)))
        time.sleep(0.5)  # the server takes in what it can

        before, start = cpu_seconds(server.pid), time.monotonic()
        time.sleep(2)
        share = (cpu_seconds(server.pid) - before) / (time.monotonic() - start)
        check(share < 0.1, f"the idle server uses {share:.0%} of a core")

        start = time.monotonic()
        status, reply = call(port, token, "GET",
                             "/api/accounts?" + urllib.parse.urlencode({"folder": examples}))
        waited = time.monotonic() - start
        accounts = {a["account"]: a["error"] for a in reply.get("accounts", [])}
        check(status == 200 and accounts == {a: None for a in ("1001", "1002", "1003", "1004")},
              f"the page's listing is answered: {status} {accounts}")
        check(waited < 1, f"within a second ({waited * 1000:.0f} ms)")
        status, _ = call(port, token, "POST", "/api/quit")
        check(status == 200 and server.wait(timeout=10) == 0, "the program stops when asked")
    finally:
        for s in sockets:
            s.close()
        if server.poll() is None:
            server.kill()
            server.wait()
        shutil.rmtree(state, ignore_errors=True)

print(f"limits_test: {'failed' if failures else 'passed'}")
sys.exit(1 if failures else 0)
