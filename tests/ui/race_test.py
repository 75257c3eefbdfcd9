#!/usr/bin/python3
"""The command line's `apply` and the page's Apply on one account at the same moment, round after
round, on the real programs. Neither takes a lock, so neither can stop the other; the page reads
the account again just before it writes, so a change the command line saved meanwhile is refused
rather than written over. Counts the rounds in which both reported success and yet one side's
formation is missing, and fails if any round leaves a file that does not decode.

Usage: race_test.py UI_PROGRAM CLI_PROGRAM EXAMPLES_FOLDER [ROUNDS]   (default 100)
"""
import http.client
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse

ui_program, cli_program, examples = sys.argv[1:4]
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 100
work = tempfile.mkdtemp(prefix="orvane-race-")
folder = os.path.join(work, "settings_Default")
shutil.copytree(examples, folder)
target = os.path.join(folder, "core_user_1002.dat")
with open(target, "rb") as f:
    original = f.read()

# The command line adds Hex Spread from account 1003; the page adds Relic Ring from account 1001.
package = os.path.join(work, "hex.json")
subprocess.run([cli_program, "export", os.path.join(folder, "core_user_1003.dat"), package],
               check=True, capture_output=True)
with open(package) as f:
    exported = json.load(f)
exported["formations"] = [f for f in exported["formations"] if f["name"] == "Hex Spread"]
with open(package, "w") as f:
    json.dump(exported, f)

server = subprocess.Popen([ui_program, "--no-browser", folder], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True,
                          env={**os.environ, "XDG_STATE_HOME": os.path.join(work, "state")})
try:
    address = server.stdout.readline().strip()
    host = address.split("//", 1)[1].split("/", 1)[0]
    token = address.split("#token=", 1)[1]

    def call(method, path, body=None):
        connection = http.client.HTTPConnection(host, timeout=60)
        headers = {"X-Token": token, "Content-Type": "application/json"}
        connection.request(method, path, None if body is None else json.dumps(body), headers)
        response = connection.getresponse()
        reply = json.loads(response.read())
        connection.close()
        return response.status, reply

    listing = "/api/accounts?" + urllib.parse.urlencode({"folder": folder})
    both_succeeded = lost = undecodable = page_refused = 0
    for _ in range(rounds):
        with open(target, "wb") as f:
            f.write(original)
        _, accounts = call("GET", listing)
        versions = {a["account"]: a.get("version") for a in accounts["accounts"]}
        request = {"folder": folder, "targets": ["1002"], "dry_run": False,
                   "formations": [{"account": "1001", "id": 4, "name": "Relic Ring"}],
                   "versions": versions}
        page = {}
        racer = threading.Thread(target=lambda: page.update(reply=call("POST", "/api/apply", request)))
        cli = subprocess.Popen([cli_program, "apply", package, target],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        racer.start()
        cli_status = cli.wait()
        racer.join()
        status, reply = page["reply"]
        page_ok = status == 200 and reply["results"][0]["error"] is None
        page_refused += status == 200 and reply["results"][0].get("error_code") == "changed_on_disk"
        listed = subprocess.run([cli_program, "list", target], capture_output=True, text=True)
        if listed.returncode != 0:
            undecodable += 1
            continue
        if cli_status == 0 and page_ok:
            both_succeeded += 1
            if "Hex Spread" not in listed.stdout or "Relic Ring" not in listed.stdout:
                lost += 1
    print(f"race_test: {rounds} rounds; both reported success in {both_succeeded}; "
          f"a formation lost in {lost}; the page refused a changed file in {page_refused}; "
          f"a file that does not decode in {undecodable}")
    if undecodable:
        sys.exit(1)
finally:
    server.terminate()
    server.wait()
    shutil.rmtree(work, ignore_errors=True)
