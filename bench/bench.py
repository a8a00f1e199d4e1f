#!/usr/bin/env python3
"""The installer's figures, each beside its reference, measured in one run
under Wine against the local test server. Prints a table and writes it to
build/bench/results.md. Nothing here is a test: no figure is asserted.

  bench.py [--runs N] [--mebibytes M]

A figure with a reference is measured in pairs, installer and reference one
right after the other, the order alternating from pair to pair, and reported
as the median of the per-pair ratios with the lowest and highest pair: load
that comes and goes on the machine then falls on both sides of a pair alike.
"""
import argparse
import glob
import hashlib
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import world  # noqa: E402
from facts import ENGLISH  # noqa: E402
from world import IDCANCEL, IDOK, World  # noqa: E402

SOURCE = world.SOURCE
RESULTS = os.path.join(SOURCE, "build", "bench", "results.md")
REFERENCE = os.path.join(world.TOOLS, "reference_fetch.exe")
# What ships is the 32-bit exe, whichever build the timings run.
SHIPPED_INSTALLER = os.path.join(SOURCE, "build", "windows", "DA_Razi.exe")
MANIFEST_URL = "https://localhost:8443/" + world.MANIFEST_PATH
# An up-to-date start takes a fraction of a second: its pairs are cheap, and
# a single pair moves by some 7 % (standard deviation) even on a quiet
# machine, so the median takes many of them to hold within 0.01.
START_PAIRS_PER_RUN = 30
# A transfer's pair moves by some 10 % even with its two halves adjacent (the
# host at times runs the same work a tenth to a third slower for a while).
DOWNLOAD_PAIRS_PER_RUN = 2
# The benchmark runs in a mount namespace of its own, which nothing outside
# it sees, with two changes that take noise out of the figures:
# - Wine's crypt32 reads the Linux host's root certificates (some 150 in
#   /etc/ssl/certs) anew in every process at its first TLS connection and
#   checks each against the store one by one: some 180 ms of processor time,
#   half of an up-to-date start and most of its spread, which Windows, whose
#   root store is in the registry, never pays. That folder is empty there;
#   the prefixes trust the test CA through their own Root store, as before.
# - The prefixes, the served files and the downloads live in memory (a
#   tmpfs), so that no run waits for the disk or shares it with the
#   write-back of an earlier run's 128 MiB.
# And everything the benchmark starts runs on one processor. A Windows
# program under Wine asks Wine's server for much of what it does (every read
# from a socket, for one): on two processors of a virtual machine each such
# call woke the other, idle, processor, and the host ran it after a delay
# that varied from call to call. A 128 MiB transfer took 1.7 to 3.7 s that
# way, and 0.9 to 1.5 s with the program and Wine's server taking turns on
# one processor; an up-to-date start 0.23 s against 0.17 s.
HOST_ROOTS = "/etc/ssl/certs"
EMPTY_ROOTS = os.path.join(SOURCE, "build", "bench", "no-host-roots")
IN_MEMORY = os.path.join(SOURCE, "build", "bench", "in-memory")
OWN_NAMESPACE = "RAZI_BENCH_OWN_MOUNT_NAMESPACE"
START_GOAL = 1.03  # installer's time over the reference's, at most
DOWNLOAD_GOAL = 0.95  # installer's throughput over the reference's, at least
RESUME_MEBIBYTES = 20


def median(values):
    return statistics.median(values) if values else float("nan")


class Pairs:
    """Interleaved measurements: (installer, reference) values of each pair."""

    def __init__(self, count, installer, reference, before_each=None):
        self.values = []
        for pair in range(count):
            if before_each:
                before_each()
            if pair % 2 == 0:
                first = installer()
                self.values.append((first, reference()))
            else:
                first = reference()
                self.values.append((installer(), first))

    def installer(self):
        return median([a for a, _ in self.values])

    def reference(self):
        return median([b for _, b in self.values])

    def ratios(self, ratio):
        return sorted(ratio(a, b) for a, b in self.values)

    def summary(self, ratio):
        """The median ratio and a text with its spread and the pair count."""
        ratios = self.ratios(ratio)
        middle = median(ratios)
        return middle, "ratio %.3f (pairs %.3f to %.3f, %d pairs)" % (middle, ratios[0], ratios[-1], len(ratios))


class IdleProgram:
    """A Windows program that idles in the world's prefix while figures are
    taken (cmd.exe reading a pipe that only this object writes to). Without
    it, Wine's server and its system processes (services, the desktop) end
    a moment after each run and start again inside the next one, or not,
    depending on how long the gap was: a start that is timed would pay for
    them by chance. On Windows they are always running."""

    def __init__(self, w):
        self.process = subprocess.Popen(["ip", "netns", "exec", w.netns, "wine", "cmd.exe"], env=w.env(),
                                        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.process.stdin.close()  # cmd.exe ends at the end of its input
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def prefix_processes(w, name):
    """Pids of the processes of the program `name` running in `w`'s prefix;
    those of other prefixes (a test run beside) are not counted."""
    pids = []
    prefix = b"WINEPREFIX=" + w.prefix.encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if name.encode() not in f.read():
                    continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                if prefix in f.read().split(b"\0"):
                    pids.append(pid)
        except OSError:
            continue
    return pids


def wait_until_gone(w, name, timeout=30):
    """Waits for the program's processes in the prefix to end, so that the
    next timed run does not share the processor with their teardown."""
    deadline = time.perf_counter() + timeout
    while prefix_processes(w, name):
        if time.perf_counter() > deadline:
            raise RuntimeError("%s still running after %d s" % (name, timeout))
        time.sleep(0.01)


def imports_check():
    """What tests/check-exe finds in the shipped exe (its imports, the
    delay-loaded DLLs), and whether it passed."""
    result = subprocess.run([os.path.join(SOURCE, "tests", "check-exe"), SHIPPED_INSTALLER, "32"],
                            stdout=subprocess.PIPE, text=True)
    summary = result.stdout.splitlines()[0].split(": ", 1)[-1] if result.stdout else "no answer"
    return summary, result.returncode == 0


def run_wine(w, command, until=None, timeout=60):
    """Wall time of a Windows program from its start until it ends, or until
    `until()` holds."""
    started = time.perf_counter()
    process = w.start_program(*command)
    deadline = started + timeout
    while time.perf_counter() < deadline:
        if until and until():
            elapsed = time.perf_counter() - started
            process.wait(timeout=timeout)
            return elapsed
        if process.poll() is not None and not until:
            return time.perf_counter() - started
        time.sleep(0.002)
    process.kill()
    raise RuntimeError("timed out: %s" % command)


def up_to_date_start(pairs):
    """Process start to the assistant's start, against the same work done
    plainly: the manifest fetched, then the assistant started through the
    shell. Both are timed until the assistant has recorded its start."""
    with World(installed="1.4.14.815") as w, IdleProgram(w):
        w.run_installer()  # the prefix's first start, and the page cache, for both
        started = 1

        def time_to_assistant_start(command):
            # An assistant may record its start after its starter has ended:
            # wait for every earlier one, so that only this run's counts, and
            # for its end, so that its teardown does not fall into this run.
            nonlocal started
            w.wait_assistant_runs(started)
            wait_until_gone(w, "QXZELK_Assistant.exe")
            started += 1
            return run_wine(w, command, until=lambda: len(w.assistant_runs()) >= started)

        return Pairs(pairs, lambda: time_to_assistant_start([world.INSTALLER]),
                     lambda: time_to_assistant_start([REFERENCE, MANIFEST_URL, "C:\\reference.ini",
                                                      world.assistant_command()]))


def peak_working_set_kib(w):
    """VmHWM of the installer process running in `w`'s prefix, in KiB."""
    peak = 0
    for pid in prefix_processes(w, "DA_Razi.exe"):
        try:
            with open("/proc/%s/status" % pid) as f:
                match = re.search(r"VmHWM:\s+(\d+) kB", f.read())
        except OSError:
            continue
        if match:
            peak = max(peak, int(match.group(1)))
    return peak


def wait_transfer(w, path, answers, timeout=300):
    """Waits for the server to log its answer number `answers` for `path`
    (reading its log costs next to nothing, where asking the dialog would
    start a Windows program while the transfer runs); its transfer time."""
    deadline = time.perf_counter() + timeout
    while True:
        rows = [r for r in w.requests() if r[2] == path]
        if len(rows) >= answers:
            return float(rows[answers - 1][1]) - float(rows[answers - 1][0])
        if time.perf_counter() > deadline:
            raise RuntimeError("the server answered %s %d of %d times" % (path, len(rows), answers))
        time.sleep(0.05)


def cache_bytes(w):
    """The bytes in the files of the download cache of `w`'s prefix."""
    total = 0
    for cache in glob.glob(os.path.join(w.prefix, "drive_c", "users", "*", "AppData", "Local", "Microsoft", "Windows",
                                        "INetCache")):
        for folder, _, files in os.walk(cache):
            total += sum(os.path.getsize(os.path.join(folder, name)) for name in files)
    return total


def download(pairs, mebibytes):
    """A large setup: the installer's transfer time (with its progress bar)
    against the reference's, the installer's peak working set meanwhile, and
    what the download cache gained during one whole download of the
    installer's (untimed, first, from OK to the check's verdict on the
    unsigned file). A pair's two transfers follow each other within a
    fraction of a second, so that the host's slow spells, which last seconds,
    fall on both alike: each pair begins with an installer started and
    waiting at its question box, and the installer is ended as soon as its
    transfer is, before it checks the file it got (which takes longer than
    the transfer)."""
    memory = []
    with World(setup=None) as w, IdleProgram(w):
        w.write_file(world.SETUP_PATH, os.urandom(1 << 20) * mebibytes)
        url_path = "/" + world.SETUP_PATH
        installer_copy = w.temp_file("ZIDEVADID.EXE")
        reference_copy = os.path.join(w.prefix, "drive_c", "reference.bin")
        answers = 0
        waiting = []

        def discard(path):
            # Deleted at once, its pages are never written back to the disk
            # while the next transfer runs.
            if os.path.exists(path):
                os.remove(path)

        def start_waiting_installer():
            waiting.append(w.start_installer())
            w.wait_window()

        def installer():
            nonlocal answers
            process = waiting.pop()
            w.press(IDOK)
            answers += 1
            seconds = wait_transfer(w, url_path, answers)
            memory.append(peak_working_set_kib(w))
            process.kill()
            process.wait(timeout=30)
            wait_until_gone(w, "DA_Razi.exe")
            discard(installer_copy)
            return seconds

        def reference():
            nonlocal answers
            run_wine(w, [REFERENCE, "https://localhost:8443" + url_path, "C:\\reference.bin"], timeout=300)
            answers += 1
            seconds = wait_transfer(w, url_path, answers)
            discard(reference_copy)
            return seconds

        start_waiting_installer()
        process = waiting.pop()
        before = cache_bytes(w)
        w.press(IDOK)
        w.wait_status(ENGLISH["verify_failed"], 300)
        cache_gain = cache_bytes(w) - before
        answers += 1
        process.kill()
        process.wait(timeout=30)
        wait_until_gone(w, "DA_Razi.exe")
        discard(installer_copy)

        return Pairs(pairs, installer, reference, before_each=start_waiting_installer), median(memory), cache_gain


def large_signed_setup(mebibytes):
    """A validly signed setup of `mebibytes` MiB: the fake setup with data
    appended, then signed."""
    padded = os.path.join(tempfile.gettempdir(), "large-setup.exe")
    with open(os.path.join(world.TOOLS, "fake_setup.exe"), "rb") as f:
        program = f.read()
    with open(padded, "wb") as f:
        f.write(program + os.urandom((mebibytes << 20) - len(program)))
    world.add_setup("large", padded, "codesign")
    os.remove(padded)
    return world.setup_file("large")


def logged_number(w, pattern):
    """The number that `pattern` (with one group) finds in the run log's last match."""
    found = [re.search(pattern, line) for line in w.run_log()]
    found = [m for m in found if m]
    if not found:
        raise RuntimeError("no %r in the log: %s" % (pattern, w.run_log()[-5:]))
    return int(found[-1].group(1))


def logged_seconds(w, start):
    """The time of day, in seconds, of the last log line whose event starts with `start`."""
    with open(w.temp_file("DA_Razi.log"), encoding="utf-8") as f:
        stamps = [line.split(" ", 3) for line in f.read().splitlines()]
    found = [clock for _, clock, _, event in stamps if event.startswith(start)]
    if not found:
        raise RuntimeError("no %r in the log: %s" % (start, w.run_log()[-5:]))
    hours, minutes, seconds = found[-1].split(":")
    return int(hours) * 3600 + int(minutes) * 60 + float(seconds)


def installed_download(setup_text=None):
    """One whole download of the large setup to its install, under the
    manifest `setup_text` (None: one that pins nothing): the download's time
    from the installer's log, the time from its last byte (the line that
    ends the download) to the setup's start, and the signature check's own
    time, all in ms."""
    with World(setup="large", manifest_text=setup_text) as w, IdleProgram(w):
        process = w.start_installer()
        w.wait_window()
        w.press(IDOK)
        w.wait_status(ENGLISH["installed"], 300)
        downloading = logged_number(w, r"^setup download from .* bytes in (\d+) ms")
        to_start = 1000 * (logged_seconds(w, "starting the setup") - logged_seconds(w, "setup download from "))
        checking = logged_number(w, r"^signature check .* in (\d+) ms")
        w.press(IDCANCEL)
        w.wait_exit(process, 30)
    return downloading, to_start, checking


def resume_and_pin(runs, mebibytes):
    """A download cut at 70 % and then Retry: the share of the setup fetched
    again. Whole downloads with and without a SHA-256 pin, one after the
    other in each pair: the pinned one's time over the plain one's, and in
    the pinned one the time from the last byte to the setup's start over the
    signature check's alone (each from the installer's log)."""
    setup = large_signed_setup(mebibytes)
    again, pin_ratio, start_ratio, pinned_ms, plain_ms = [], [], [], [], []
    pin = world.manifest(sha256=hashlib.sha256(setup).hexdigest(), size=len(setup))
    for run in range(runs):
        with World(setup="large", setup_fault="cut 0.7") as w, IdleProgram(w):
            process = w.start_installer()
            w.wait_window()
            w.press(IDOK)
            w.wait_status(ENGLISH["download_failed"], 300)
            os.remove(os.path.join(w.root, world.SETUP_PATH + ".fault"))
            first = len(w.answers())
            w.press(IDOK)
            w.wait_status(ENGLISH["installed"], 300)
            again.append(sum(sent for _, _, _, sent in w.answers()[first:]) / len(setup))
            w.press(IDCANCEL)
            w.wait_exit(process, 30)
        plain, _, _ = installed_download()
        pinned, to_start, checking = installed_download(pin)
        pin_ratio.append(pinned / max(plain, 1))
        start_ratio.append(to_start / max(checking, 1))
        pinned_ms.append(pinned)
        plain_ms.append(plain)
    return again, pin_ratio, start_ratio, median(pinned_ms), median(plain_ms)


def dialog_and_fade(runs):
    """OK in the credentials box to the dialog on screen, and Exit to the
    process's end (the fade and the teardown)."""
    opening, exiting = [], []
    with World(setup_fault="stall") as w, IdleProgram(w):
        for run in range(runs):
            process = w.start_installer()
            w.wait_window()
            w.press(IDOK)
            started = time.perf_counter()
            w.wait_for(lambda win: win.status is not None, 30)
            opening.append(time.perf_counter() - started)
            w.press(IDCANCEL)
            started = time.perf_counter()
            w.wait_exit(process, 30)
            exiting.append(time.perf_counter() - started)
    return median(opening), median(exiting)


def enter_own_mount_namespace():
    """Re-starts this program under unshare, once, then hides the host's
    root certificates and mounts the tmpfs for the worlds."""
    if os.environ.get(OWN_NAMESPACE) != "1":
        os.execvpe("unshare", ["unshare", "--mount", "--propagation", "private", sys.executable,
                               os.path.abspath(__file__)] + sys.argv[1:], dict(os.environ, **{OWN_NAMESPACE: "1"}))
    for folder in (EMPTY_ROOTS, IN_MEMORY):
        os.makedirs(folder, exist_ok=True)
    subprocess.run(["mount", "--bind", EMPTY_ROOTS, HOST_ROOTS], check=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0700", "bench-worlds", IN_MEMORY], check=True)
    tempfile.tempdir = IN_MEMORY
    world.use_own_world(os.path.join(IN_MEMORY, "world"))


def run_on_one_processor():
    """Keeps this program and all it starts (the Wine server, the X server,
    the HTTPS server, the programs timed) on one processor; its number."""
    processor = max(os.sched_getaffinity(0))
    os.sched_setaffinity(0, {processor})
    return processor


def main():
    enter_own_mount_namespace()
    processor = run_on_one_processor()
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=11,
                        help="dialog runs; the download takes %d times as many pairs, the up-to-date start %d times"
                        % (DOWNLOAD_PAIRS_PER_RUN, START_PAIRS_PER_RUN))
    parser.add_argument("--mebibytes", type=int, default=128)
    args = parser.parse_args()
    start_pairs = START_PAIRS_PER_RUN * args.runs
    download_pairs = DOWNLOAD_PAIRS_PER_RUN * args.runs

    world.prepare_template(arches=(world.ARCH,))
    size = os.path.getsize(SHIPPED_INSTALLER)
    imports, imports_met = imports_check()
    start = up_to_date_start(start_pairs)
    start_ratio, start_spread = start.summary(lambda installer, reference: installer / reference)
    transfer, peak, cache_gain = download(download_pairs, args.mebibytes)
    # Throughput: the reference's transfer time over the installer's.
    transfer_ratio, transfer_spread = transfer.summary(lambda installer, reference: reference / installer)
    opening, exiting = dialog_and_fade(args.runs)
    resumed, pin_ratio, launch_ratio, pinned_ms, plain_ms = resume_and_pin(max(1, args.runs // 4), RESUME_MEBIBYTES)

    mib = 1 << 20
    size_bytes = args.mebibytes * mib
    rows = [
        ("Size of the shipped 32-bit DA_Razi.exe (stripped, with resources)",
         "%d bytes (%.1f KiB)" % (size, size / 1024), "", "at most 65536 bytes", "met" if size <= 65536 else "not met"),
        ("Format and imports", imports, "", "system DLLs only, the unprotected ones delay-loaded",
         "met" if imports_met else "not met"),
        ("Up-to-date start: process start to assistant start", "%.3f s" % start.installer(),
         "manifest fetch, then shell start of the assistant: %.3f s; %s" % (start.reference(), start_spread),
         "ratio at most %.2f" % START_GOAL, "met" if start_ratio <= START_GOAL else "not met"),
        ("Download of %d MiB (server's transfer time)" % args.mebibytes,
         "%.1f MiB/s" % (size_bytes / transfer.installer() / mib),
         "without a callback: %.1f MiB/s; %s" % (size_bytes / transfer.reference() / mib, transfer_spread),
         "ratio at least %.2f" % DOWNLOAD_GOAL, "met" if transfer_ratio >= DOWNLOAD_GOAL else "not met"),
        ("Download cache gained during one installer download", "%d bytes (%.1f MiB)" % (cache_gain, cache_gain / mib),
         "", "(figure only)", ""),
        ("Peak working set during that download", "%.1f MiB" % (peak / 1024), "", "(figure only)", ""),
        ("Retry after a cut at 70 %% of a %d MiB setup: share fetched again" % RESUME_MEBIBYTES,
         "%.1f %%" % (100 * median(resumed)), "%d runs, %.1f %% to %.1f %%" % (
             len(resumed), 100 * min(resumed), 100 * max(resumed)), "at most 35 %",
         "met" if median(resumed) <= 0.35 else "not met"),
        ("Download of a %d MiB setup under a SHA-256 pin, against one without" % RESUME_MEBIBYTES,
         "ratio %.3f" % median(pin_ratio), "%d ms against %d ms; %d pairs, %.3f to %.3f" % (
             pinned_ms, plain_ms, len(pin_ratio), min(pin_ratio), max(pin_ratio)), "ratio at most 1.02",
         "met" if median(pin_ratio) <= 1.02 else "not met"),
        ("Pinned %d MiB setup: last byte to the setup's start, against the signature check alone" % RESUME_MEBIBYTES,
         "ratio %.3f" % median(launch_ratio), "%d runs, %.3f to %.3f" % (
             len(launch_ratio), min(launch_ratio), max(launch_ratio)), "ratio at most 1.05",
         "met" if median(launch_ratio) <= 1.05 else "not met"),
        ("OK pressed to install dialog on screen", "%.3f s" % opening, "includes the UI driver's polling", "(figure only)",
         ""),
        ("Exit pressed to process end (3001-step fade)", "%.3f s" % exiting, "includes the UI driver's polling",
         "(figure only)", ""),
    ]
    table = ["| figure | installer | reference | goal | |", "| --- | --- | --- | --- | --- |"]
    table += ["| %s |" % " | ".join(row) for row in rows]
    text = ("Under Wine 8 on this machine: %s. A ratio is the median of interleaved pairs "
            "(installer / reference; for the download, throughput over throughput), with its lowest and "
            "highest pair; times are medians over the same runs; the dialog figures are medians of %d runs. "
            "Wine reads no host root certificates here, the worlds are in memory, and all of it runs on "
            "processor %d alone (see bench.py).\n"
            "Load average at the end: %s.\n\n%s\n") % (
        os.environ.get("RAZI_WINE_CHOICE", "the 32-bit build"), args.runs, processor,
        " ".join("%.2f" % load for load in os.getloadavg()), "\n".join(table))
    os.makedirs(os.path.dirname(RESULTS), exist_ok=True)
    with open(RESULTS, "w") as f:
        f.write(text)
    print(text)
    print("written to %s" % RESULTS)
    return 0


if __name__ == "__main__":
    sys.exit(main())
