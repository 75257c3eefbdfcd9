#!/usr/bin/env python3
"""Checks the Windows executables as Explorer sees them: the window program is a GUI program (no
console window opens), the command line a console one, and both carry the program's icon at
every size from 16 to 256 pixels and a version resource with the project's version.

Usage: windows_programs_test.py OBJDUMP WRESTOOL ICOTOOL VERSION UI_EXE CLI_EXE
"""
import re
import subprocess
import sys
import tempfile

objdump, wrestool, icotool, version, ui_exe, cli_exe = sys.argv[1:7]
ICON_SIZES = {16, 24, 32, 48, 64, 128, 256}
RT_ICON_GROUP, RT_VERSION, RT_MANIFEST = 14, 16, 24

# exe, subsystem as objdump names it, the file description its version resource must give
PROGRAMS = [
    (ui_exe, "Windows GUI", "Orvane Probe Formations: copy probe formations between accounts"),
    (cli_exe, "Windows CUI", "Orvane Probe Formations, command line"),
]
failures = []


def run(*args, binary=False):
    return subprocess.run(args, check=True, capture_output=True, text=not binary).stdout


def version_strings(exe):
    """The StringFileInfo values of the version resource, by name."""
    raw = run(wrestool, "-x", "--raw", f"--type={RT_VERSION}", exe, binary=True)
    text = raw.decode("utf-16-le", errors="replace")
    # Each value is its name, NULs for alignment, then its text, NUL-terminated.
    names = ["CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
             "OriginalFilename", "ProductName", "ProductVersion"]
    found = {}
    for name in names:
        match = re.search(re.escape(name) + r"\x00+([^\x00]*)\x00", text)
        if match:
            found[name] = match.group(1)
    return found


for exe, subsystem, description in PROGRAMS:
    name = exe.rsplit("/", 1)[-1]
    headers = run(objdump, "-p", exe)
    match = re.search(r"^Subsystem\s+\S+\s+\((.*)\)$", headers, re.M)
    if not match or match.group(1) != subsystem:
        failures.append(f"{name}: subsystem {match.group(1) if match else None}, not {subsystem}")

    types = {int(t) for t in re.findall(r"--type=(\d+)", run(wrestool, "-l", exe))}
    for wanted, what in ((RT_ICON_GROUP, "icon"), (RT_VERSION, "version"), (RT_MANIFEST, "manifest")):
        if wanted not in types:
            failures.append(f"{name}: no {what} resource (types {sorted(types)})")
    if RT_ICON_GROUP in types:
        with tempfile.NamedTemporaryFile(suffix=".ico") as ico:
            ico.write(run(wrestool, "-x", f"--type={RT_ICON_GROUP}", exe, binary=True))
            ico.flush()
            sizes = {int(w) for w in re.findall(r"--width=(\d+)", run(icotool, "-l", ico.name))}
        if sizes != ICON_SIZES:
            failures.append(f"{name}: icon sizes {sorted(sizes)}, not {sorted(ICON_SIZES)}")
    if RT_VERSION in types:
        strings = version_strings(exe)
        expected = {
            "ProductName": "Orvane Probe Formations",
            "FileDescription": description,
            "FileVersion": version,
            "ProductVersion": version,
            "OriginalFilename": name,
        }
        for key, value in expected.items():
            if strings.get(key) != value:
                failures.append(f"{name}: {key} is {strings.get(key)!r}, not {value!r}")
        if "Copyright" not in strings.get("LegalCopyright", ""):
            failures.append(f"{name}: no copyright in the version resource")

for failure in failures:
    print("windows_programs:", failure)
if failures:
    sys.exit(1)
print(f"windows_programs: both programs have their subsystem, icon and version {version}")
