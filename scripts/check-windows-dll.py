#!/usr/bin/env python3
"""Checks a built Windows DLL without running it.

    check-windows-dll.py {win32|win64} quorbel.dll|ZIPDLL.DLL

- the export table holds exactly the expected undecorated names (for the
  library: LoadDll, UnloadDll and every command the public header declares);
- every imported DLL is one that Windows itself ships;
- on 32-bit, every export of the library removes its own arguments: its
  code returns with `ret $0x18` (six arguments) or `ret $0x4` (LoadDll,
  UnloadDll), so a slip to another calling convention fails here.
Prints one line per finding; exits 1 when anything is wrong.
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll",
               "msvcrt.dll", "shell32.dll", "ole32.dll"}
ZIP_ENGINE_EXPORTS = {"GetZipDllVersion": None, "ZipDllExec": "0x4"}


def library_exports():
    """Name -> bytes of arguments removed on return, from the public header."""
    header = open(os.path.join(ROOT, "include", "quorbel.h")).read()
    commands = re.findall(r"^QUORBEL_DECLARE_COMMAND\((\w+)\);", header, re.M)
    exports = {name: "0x18" for name in commands}
    exports.update(LoadDll="0x4", UnloadDll="0x4")
    return exports


def objdump(arch, *args):
    tool = {"win32": "i686", "win64": "x86_64"}[arch] + "-w64-mingw32-objdump"
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def parse_headers(text):
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    rvas = {int(i): int(rva, 16) for i, rva in
            re.findall(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", text, re.M)}
    names_block = text.split("[Ordinal/Name Pointer] Table", 1)[-1].split("\n\n", 1)[0]
    names = {name: int(i) for i, name in re.findall(r"^\s*\[\s*(\d+)\] (\S+)$", names_block, re.M)}
    imports = re.findall(r"DLL Name: (\S+)", text)
    return base, {name: rvas.get(i) for name, i in names.items()}, imports


def returns_of(arch, dll, address):
    """The return instructions of the function at `address`, up to the next symbol."""
    text = objdump(arch, "-d", f"--start-address={address}", f"--stop-address={address + 0x800}", dll)
    body = text.split(">:\n", 1)[-1]
    rets = []
    for line in body.splitlines():
        if re.match(r"^[0-9a-f]+ <.*>:$", line):
            break  # the next function begins
        m = re.search(r"\tret\s*(\$0x[0-9a-f]+)?\s*$", line)
        if m:
            rets.append((m.group(1) or "$0x0")[1:])
            if not re.search(r"<\S+>:", text):  # no symbols: the first return must do
                break
    return rets


def check(arch, dll):
    problems = []
    is_zip = os.path.basename(dll).upper() == "ZIPDLL.DLL"
    expected = ZIP_ENGINE_EXPORTS if is_zip else library_exports()
    base, exports, imports = parse_headers(objdump(arch, "-p", dll))
    for name in sorted(set(expected) - set(exports)):
        problems.append(f"missing export {name}")
    for name in sorted(set(exports) - set(expected)):
        problems.append(f"unexpected export {name}")
    for dll_name in imports:
        if dll_name.lower() not in SYSTEM_DLLS:
            problems.append(f"imports {dll_name}, which is not a system DLL")
    if arch == "win32":
        for name, pops in sorted(expected.items()):
            if pops is None or exports.get(name) is None:
                continue
            rets = returns_of(arch, dll, base + exports[name])
            wrong = [r for r in rets if r != pops]
            if not rets or wrong:
                problems.append(f"{name} returns with {rets or 'no ret found'}, expected ret ${pops}")
    summary = (f"{os.path.basename(dll)} ({arch}): {len(exports)} exports, "
               f"imports {', '.join(imports)}")
    if arch == "win32":
        summary += "; every export removes its own arguments" if not problems else ""
    return summary, problems


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("win32", "win64"):
        sys.exit(__doc__)
    summary, problems = check(sys.argv[1], sys.argv[2])
    for p in problems:
        print(f"check-windows-dll: {sys.argv[2]}: {p}")
    print(("FAILED " if problems else "ok ") + summary)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
