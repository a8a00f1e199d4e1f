#!/usr/bin/env python3
"""Hostile manifests against the real DA_Razi.exe: each ends silently,
starts the assistant or reaches the install path, as its readable values
say, and never crashes or hangs. Prints "N manifests, N as expected".

The installed version is 1.0.0.0 throughout, so a readable newer version
leads to the credentials box of the install path ("box"), an unreadable or
older one starts the assistant ("assistant"), and a missing or empty value
ends the run without a window ("silent"). With an argument K/N it runs the
K-th of N shards. Where the platform's profile
reader decides (encodings, odd line ends), either of two outcomes is
correct, and only a crash, a hang or a third outcome fails.
"""
import os
import sys
import time

from world import IDCANCEL, World, run_suite

ADDRESS = "https://localhost:8443/pweb/download/setup.exe"
NOISE = bytes((i * 7919 + 13) % 256 for i in range(4096))


def ini(version="2.0.0.0", address=ADDRESS, newline="\r\n"):
    return ("[version]" + newline + "version=" + version + newline + "[download]" + newline + "address=" + address +
            newline).encode("latin-1")


SILENT, ASSISTANT, BOX = "silent", "assistant", "box"
EITHER_SILENT_OR_BOX = (SILENT, BOX)

CASES = [
    ("empty file", b"", (SILENT,)),
    ("binary noise", NOISE, (SILENT,)),
    ("10 MiB of noise", NOISE * 2560, (SILENT,)),
    # A manifest is a few hundred bytes; past 64 KiB it is refused whole.
    ("valid, then 10 MiB of junk lines", ini() + b"junk line\r\n" * 900000, (SILENT,)),
    ("10 MiB of newlines, then valid", b"\r\n" * 5000000 + ini(), (SILENT,)),
    ("UTF-16 with byte-order mark", b"\xff\xfe" + ini().decode().encode("utf-16-le"), EITHER_SILENT_OR_BOX),
    ("UTF-16 without byte-order mark", ini().decode().encode("utf-16-le"), EITHER_SILENT_OR_BOX),
    ("UTF-8 byte-order mark", b"\xef\xbb\xbf" + ini(), EITHER_SILENT_OR_BOX),
    ("CR-only line ends", ini(newline="\r"), EITHER_SILENT_OR_BOX),
    ("LF-only line ends", ini(newline="\n"), (BOX,)),
    ("mixed line ends", b"[version]\nversion=2.0.0.0\r\n[download]\r\naddress=" + ADDRESS.encode() + b"\n", (BOX,)),
    ("duplicate sections", ini() + b"[version]\r\nversion=0.1\r\n", (BOX,)),
    ("duplicate keys", b"[version]\r\nversion=2.0.0.0\r\nversion=0.1\r\n[download]\r\naddress=x\r\n", (BOX,)),
    ("version key without value", ini(version=""), (SILENT,)),
    ("version key without equals sign", b"[version]\r\nversion\r\n[download]\r\naddress=x\r\n", (SILENT,)),
    ("address without value", ini(address=""), (SILENT,)),
    ("address of blanks", ini(address="    "), (SILENT,)),
    ("only the download section", b"[download]\r\naddress=x\r\n", (SILENT,)),
    ("version of 31 characters", ini(version="2." + "0" * 29), (BOX,)),
    ("version of 32 characters", ini(version="2." + "0" * 30), (BOX,)),
    ("version of 33 characters", ini(version="2." + "0" * 31), (BOX,)),
    ("version of 511 characters", ini(version="2." + "0" * 509), (BOX,)),
    ("version of 4000 characters", ini(version="2." + "0" * 3998), (BOX,)),
    ("address of 511 characters", ini(address="https://localhost:8443/" + "a" * 488), (BOX,)),
    ("address of 512 characters", ini(address="https://localhost:8443/" + "a" * 489), (BOX,)),
    ("address of 4000 characters", ini(address="https://localhost:8443/" + "a" * 3977), (BOX,)),
    # The setup's pins are read with the address; hostile ones never stop the start.
    ("sha256 of 4000 characters", ini() + b"sha256=" + b"a" * 4000 + b"\r\n", (BOX,)),
    ("size of 4000 digits and a sign", ini() + b"size=-" + b"9" * 4000 + b"\r\n", (BOX,)),
    ("version of only dots", ini(version="...."), (ASSISTANT,)),
    ("version of one dot", ini(version="."), (ASSISTANT,)),
    ("negative version", ini(version="-1.0.0.0"), (ASSISTANT,)),
    ("overflowing version", ini(version="99999999999.0.0.0"), (BOX,)),
    ("hexadecimal-looking version", ini(version="0x10.0.0.0"), (ASSISTANT,)),
    ("equal version", ini(version="1.0.0.0"), (ASSISTANT,)),
    ("compact newer version", ini(version="20000000"), (BOX,)),
    ("dotless version of 9 characters", ini(version="123456789"), (ASSISTANT,)),
    ("dotless version of 5 characters", ini(version="12345"), (ASSISTANT,)),
    ("version with high bytes", ini(version="2.0.0.0\xff\xfe"), (BOX,)),
    ("address of another scheme", ini(address="ftp://localhost/setup.exe"), (BOX,)),
    ("address of a local file", ini(address="file:///C:/windows/notepad.exe"), (BOX,)),
    ("address climbing out of the path", ini(address="https://localhost:8443/../../../etc/passwd"), (BOX,)),
    ("HTML error page served with 200", b"<html><body><h1>404 Not Found</h1></body></html>", (SILENT,)),
    ("comments and blank keys", b";version=0.1\r\n=\r\n" + ini(), (BOX,)),
    ("blanks and tabs around keys", b"[version]\r\n  version \t=\t 2.0.0.0  \r\n[download]\r\naddress = x\r\n", (BOX,)),
    ("3000 other sections first", b"".join(b"[s%d]\r\nk=v\r\n" % i for i in range(3000)) + ini(), (BOX,)),
    ("10000 other sections first, past the bound", b"".join(b"[s%d]\r\nk=v\r\n" % i for i in range(10000)) + ini(),
     (SILENT,)),
    ("NUL bytes inside", ini().replace(b"version=", b"version=\0"), EITHER_SILENT_OR_BOX),
    ("a 1 MiB line without end", b"x" * (1 << 20), (SILENT,)),
    ("a 4000-character key before the version", b"[version]\r\n" + b"k" * 4000 + b"=1\r\n" + ini()[11:], (BOX,)),
]


def padded(size):
    """A valid manifest with a last key that makes it `size` bytes."""
    head = ini() + b"k="
    return head + b"x" * (size - len(head) - 2) + b"\r\n"


BOUND = 65536
# Over the bound, announced or as it arrives: refused at once, and no more of
# it is left on the disk than the bound. (name, bytes, fault, outcomes)
BOUNDED = [
    ("exactly the bound of 64 KiB", padded(BOUND), None, (BOX,)),
    ("one byte past the bound", padded(BOUND + 1), None, (SILENT,)),
    ("valid, then bytes without end and without a length", ini(), "endless", (SILENT,)),
    ("valid, announced as one byte past the bound", ini(), "announce 65537", (SILENT,)),
    ("valid, announced as 10^12 bytes", ini(), "announce 1000000000000", (SILENT,)),
    ("valid, announced as 4 GiB", ini(), "announce 4294967296", (SILENT,)),
]


def outcome_of(manifest_bytes, fault=None, bounded=False):
    with World(installed="1.0.0.0", manifest_text=manifest_bytes, manifest_fault=fault, setup_fault="stall") as w:
        started = time.time()
        installer = w.start_installer()
        code, windows, lines = w.watch_screen(installer, 15000)
        if windows:
            w.press(IDCANCEL)
            exit_code = w.wait_exit(installer, 20)
            return BOX, exit_code, time.time() - started
        exit_code = w.wait_exit(installer, 30)
        # The assistant can start after the installer has ended, but only
        # through a shell launch, which the ended installer's trace holds.
        found = ASSISTANT if w.shell_launches() and w.wait_assistant_runs() else SILENT
        if bounded and found == SILENT:
            left = os.path.getsize(w.temp_file("ZIDEVADID.INI")) if os.path.exists(w.temp_file("ZIDEVADID.INI")) else 0
            assert left <= BOUND, "%d bytes of the manifest left" % left
            named = [line for line in w.run_log() if "longer than its bound of 65536 bytes" in line]
            assert named, w.run_log()[-3:]
        return found, exit_code, time.time() - started


def check(manifest_bytes, expected, fault=None, bounded=False):
    found, exit_code, seconds = outcome_of(manifest_bytes, fault, bounded)
    detail = "%s, exit code %s, %.1f s" % (found, exit_code, seconds)
    assert found in expected and exit_code == 0, detail
    return detail


def main(argv):
    cases = [(name, lambda data=data, expected=expected: check(data, expected)) for name, data, expected in CASES]
    cases += [(name, lambda data=data, fault=fault, expected=expected: check(data, expected, fault, True))
              for name, data, fault, expected in BOUNDED]
    return run_suite(cases, argv, "manifests")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
