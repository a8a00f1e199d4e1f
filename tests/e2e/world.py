"""One test's world for the real DA_Razi.exe under Wine.

Each World lives in a network namespace of its own with only loopback up
(so tests run side by side, each with its own 127.0.0.1:8443), a throwaway
copy of the template prefix, its own Xvfb display, the test download
server and a fake assistant. `online=True` adds a veth pair with a default
route inside the namespace, which is what Wine takes for a connection; no
packet ever leaves the namespace.

Paths come from the environment that CTest sets: RAZI_BUILD_DIR (the
windows or windows64 build tree) and RAZI_SOURCE_DIR; RAZI_WINE_ARCH says
which Wine runs that build's programs (win32, or win64 for the 64-bit build
on machines that refuse 32-bit code), and so the kind of prefix a world has.
"""
import itertools
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from facts import IDC_PROGRESS, IDC_STATUS, SOURCE

BUILD = os.path.realpath(os.environ.get("RAZI_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build/windows")))
INSTALLER = os.path.join(BUILD, "DA_Razi.exe")
PINNED_INSTALLER = os.path.join(BUILD, "pinned", "DA_Razi.exe")  # accepts "ZELK Test Publisher" only
TOOLS = os.path.join(BUILD, "tests")
CERTS = os.path.join(BUILD, "e2e-certs")
SETUPS = os.path.join(BUILD, "e2e-setups")
SETUP_PATH = "pweb/download/setup.exe"
TEMPLATES = {"win32": os.path.join(BUILD, "e2e-template"), "win64": os.path.join(BUILD, "e2e-template64")}
ARCH = os.environ.get("RAZI_WINE_ARCH", "win32")
MANIFEST_PATH = "pweb/download/da_razi_update.ini"
# The product reads the 32-bit registry view in every build, where a 64-bit
# Windows names the 32-bit program folder.
PROGRAM_FILES = {"win32": "Program Files", "win64": "Program Files (x86)"}
PRODUCT_KEY = r"HKEY_LOCAL_MACHINE\Software\Kestrix\QXZELK_Assistant"
POLICY_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Policies\System"

# Windows's own: the ids of the buttons of message boxes and dialogs, and of
# the static that holds a message box's text.
IDOK, IDCANCEL, IDRETRY, TEXT_ID = 1, 2, 4, 65535
WM_SYSCOMMAND = 0x0112
WM_CLOSE = 0x0010

_names = itertools.count()


def wait_until(condition, seconds, what, last_seen, interval=0.1):
    """Polls condition() until it gives something true, and returns that.
    After `seconds` it fails, naming `what` it awaited and last_seen(), what
    it found instead."""
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %g s awaiting %s; last seen: %s" % (seconds, what, last_seen()))
        time.sleep(interval)


def unescape_trace(text):
    """A wide text as Wine's traces print it: a backslash or quote escaped,
    a character beyond ASCII as its code, with or without an x."""
    return re.sub(r'\\(\\|"|x?[0-9a-f]{4})',
                  lambda m: m.group(1) if len(m.group(1)) == 1 else chr(int(m.group(1).lstrip("x"), 16)), text)


# The UI driver's commands that print nothing when they succeed.
SILENT_DRIVER_COMMANDS = ("post", "shot")


def assistant_dir(arch=ARCH):
    """Where the product looks for the assistant, inside the prefix."""
    return "drive_c/%s/ZELK/Assistant" % PROGRAM_FILES[arch]


def assistant_command(arch=ARCH):
    """The command line the product starts the assistant with."""
    return '"C:\\%s\\ZELK\\Assistant\\QXZELK_Assistant.exe"' % PROGRAM_FILES[arch]


def manifest(version="1.4.14.815", address="https://localhost:8443/pweb/download/setup.exe", sha256=None, size=None):
    """A manifest's text; `sha256` and `size`, when given, pin the setup."""
    pins = "".join("%s=%s\r\n" % (key, value) for key, value in (("sha256", sha256), ("size", size))
                   if value is not None)
    return "[version]\r\nversion=%s\r\n[download]\r\naddress=%s\r\n%s" % (version, address, pins)


# The private half of the key that the pinned installer's manifests must be
# signed with (tests/CMakeLists.txt makes it for each build tree).
TEST_MANIFEST_KEY = os.path.join(BUILD, "test-manifest-key.pem")


def signed_manifest(text, key=TEST_MANIFEST_KEY):
    """`text` (a manifest, str or bytes) with the signature section that
    signs every byte of it with `key`, a PEM private key."""
    data = text.encode("latin-1") if isinstance(text, str) else text
    signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=data, capture_output=True,
                               check=True).stdout
    return data + b"[signature]\r\nrsa=" + signature.hex().encode() + b"\r\n"


def setup_file(name):
    """The bytes of the prepared setup `name`."""
    with open(os.path.join(SETUPS, name + ".exe"), "rb") as f:
        return f.read()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def sign(source, target, certificate):
    subprocess.run(["osslsigncode", "sign", "-certs", os.path.join(CERTS, certificate + ".pem"),
                    "-key", os.path.join(CERTS, certificate + ".key"), "-n", "ZELK test setup",
                    "-in", source, "-out", target], check=True, stdout=subprocess.DEVNULL)


def with_file_version(program, version):
    """A copy of `program` (a path) whose version block's fixed file version
    is `version` ("a.b.c.d"), in the temporary folder; its path. The block
    is found by its signature, 0xFEEF04BD, which the fixed file version
    follows after the structure's own version field."""
    with open(program, "rb") as f:
        data = bytearray(f.read())
    at = data.index(struct.pack("<I", 0xFEEF04BD))
    a, b, c, d = (int(part) for part in version.split("."))
    data[at + 8:at + 16] = struct.pack("<HHHH", b, a, d, c)
    copy = os.path.join(tempfile.gettempdir(), "razi-setup-%s-%d.exe" % (version, os.getpid()))
    with open(copy, "wb") as f:
        f.write(data)
    return copy


def add_setup(name, program, certificate=None, version=None):
    """Offers `program` as the setup `name` that a World can serve, signed
    with `certificate` or unsigned, with the file version `version` in its
    version block when given."""
    os.makedirs(SETUPS, exist_ok=True)
    source = with_file_version(program, version) if version else program
    if certificate:
        sign(source, os.path.join(SETUPS, name + ".exe"), certificate)
    else:
        shutil.copy(source, os.path.join(SETUPS, name + ".exe"))
    if version:
        os.remove(source)


def prepare_setups():
    """The fake setup unsigned, signed, signed by another publisher, signed
    and then changed in one byte of its code, and its next version."""
    shutil.rmtree(SETUPS, ignore_errors=True)
    plain = os.path.join(TOOLS, "fake_setup.exe")
    add_setup("unsigned", plain)
    add_setup("signed", plain, "codesign")
    add_setup("other-signer", plain, "other-codesign")
    # Setups of the publisher's of other versions than the one the manifests
    # offer by default, and one without a version block.
    for version in ("1.4.14.700", "1.4.14.816"):
        add_setup("signed-" + version, plain, "codesign", version)
    add_setup("signed-unversioned", os.path.join(TOOLS, "fake_setup_unversioned.exe"), "codesign")
    # A program of the publisher's that is no setup: it leaves runs.txt in
    # the temporary folder whenever it is started.
    add_setup("signed-assistant", os.path.join(TOOLS, "fake_assistant.exe"), "codesign")
    # The next version: one letter of its DOS stub's text changed before it is
    # signed alike, so a valid setup of the same length whose first bytes
    # differ, as do its last (the signature).
    with open(plain, "rb") as f:
        program = bytearray(f.read())
    program[program.index(b"This program")] = ord("t")
    next_program = os.path.join(SETUPS, "next-version-unsigned.exe")
    with open(next_program, "wb") as f:
        f.write(program)
    add_setup("next-version", next_program, "codesign")
    os.remove(next_program)
    with open(os.path.join(SETUPS, "signed.exe"), "rb") as f:
        tampered = bytearray(f.read())
    tampered[0x500] ^= 0xFF
    with open(os.path.join(SETUPS, "tampered.exe"), "wb") as f:
        f.write(tampered)


def use_own_world(directory):
    """Puts the certificates, setups and template prefix under `directory`,
    for a program that must not disturb the tests' own (demo, benchmarks)."""
    global CERTS, SETUPS, TEMPLATES
    CERTS = os.path.join(directory, "certs")
    SETUPS = os.path.join(directory, "setups")
    TEMPLATES = {ARCH: os.path.join(directory, "template")}


def prepare_template(arches=None):
    """Certificates, setups and template prefixes that trust the test CA;
    once per test run. By default the prefix of the build's width, and a
    32-bit build's also a 64-bit one for its runs on 64-bit Windows."""
    if arches is None:
        arches = ("win32", "win64") if ARCH == "win32" else ("win64",)
    subprocess.run([os.path.join(SOURCE, "tests/e2e/make_certs.sh"), CERTS], check=True)
    prepare_setups()
    for arch in arches:
        template = TEMPLATES[arch]
        subprocess.run([os.path.join(SOURCE, "tests/wine/make-prefix"), template, arch], check=True,
                       stdout=subprocess.DEVNULL)
        env = dict(os.environ, WINEPREFIX=template, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run(["wine", os.path.join(TOOLS, "add_root_cert.exe"),
                        windows_path(os.path.join(CERTS, "ca.der"))], check=True, env=env)
        subprocess.run(["wineserver", "-w"], env=env, check=True)
        print("template prefix ready:", template)


def bmp_to_png(bmp_path, png_path):
    """A 24-bit bottom-up BMP as a PNG, with the standard library only."""
    import zlib
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    row_size = (width * 3 + 3) // 4 * 4
    raw = bytearray()
    for y in range(height - 1, -1, -1):
        row = data[offset + y * row_size: offset + y * row_size + width * 3]
        raw.append(0)
        for x in range(0, len(row), 3):
            raw += bytes((row[x + 2], row[x + 1], row[x]))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + chunk(b"IEND", b"")
    with open(png_path, "wb") as f:
        f.write(png)


class Window:
    def __init__(self, lines):
        self.handle = None  # the window's handle, a number
        self.caption = ""
        self.topmost = False
        self.icon = "none"
        self.progress = None
        self.controls = {}
        self.texts = []  # every control's text, in child order
        self.enabled = True
        self.rect = (0, 0, 0, 0)
        self.owner = None  # the owner window's caption
        self.focus = None  # the control with the keyboard focus: its id, "dialog" or "none"
        self.default = None  # the id of the button that Enter presses, 0 for none
        for line in lines:
            word, _, rest = line.partition(" ")
            if word == "handle":
                self.handle = int(rest)
            elif word == "caption":
                self.caption = rest
            elif word == "topmost":
                self.topmost = rest == "1"
            elif word == "enabled":
                self.enabled = rest == "1"
            elif word == "rect":
                self.rect = tuple(int(n) for n in rest.split())
            elif word == "owner":
                self.owner = None if rest == "none" else rest
            elif word == "icon":
                self.icon = rest
            elif word == "focus":
                self.focus = int(rest) if rest.lstrip("-").isdigit() else rest
            elif word == "default":
                self.default = int(rest)
            elif word == "progress":
                self.progress = int(rest.split()[1])
            elif word == "control":
                ident, cls, visible, enabled, text = (rest.split(" ", 4) + [""])[:5]
                self.texts.append(text)
                self.controls[int(ident)] = {"class": cls, "visible": visible == "1", "enabled": enabled == "1",
                                             "text": text}

    @property
    def centre(self):
        left, top, right, bottom = self.rect
        return (left + right) / 2, (top + bottom) / 2

    @property
    def text(self):
        return self.controls.get(TEXT_ID, {}).get("text", "")

    @property
    def status(self):
        """The install dialog's status line; None in other windows."""
        return self.controls.get(IDC_STATUS, {}).get("text")

    def buttons(self):
        return sorted(i for i, c in self.controls.items() if c["class"] == "Button" and c["visible"])

    def settled_with(self, other):
        """Both snapshots show the same controls. The driver reads one
        control after another, so a single snapshot taken while the dialog
        changes state can pair an old button with a new status; the bar may
        move on meanwhile."""
        return (self.caption, self.topmost, self.icon, self.focus, self.default, self.controls) == \
            (other.caption, other.topmost, other.icon, other.focus, other.default, other.controls)

    def __repr__(self):
        return "Window(%r, %r, status=%r, progress=%s, icon=%s, buttons=%s, focus=%s, default=%s)" % (
            self.caption, self.text, self.status, self.progress, self.icon, self.buttons(), self.focus, self.default)


class World:
    def __init__(self, windows="win7", locale="en_US.UTF-8", online=True, server=True, installed=None,
                 enable_lua=1, manifest_text=None, manifest_fault=None, assistant=True, certificate="server",
                 arch=ARCH, registry=(), assistant_dir=None, setup="signed", setup_fault=None,
                 setup_behaviour=None, installer=INSTALLER, display=None, native_dlls=(), second_server=None,
                 temp_folder=None, dpi=None, sign_manifest=None):
        self.windows, self.locale, self.online = windows, locale, online
        self.serve, self.installed, self.enable_lua = server, installed, enable_lua
        self.manifest_text = manifest() if manifest_text is None else manifest_text
        # The pinned installer acts only on a signed manifest: signed with
        # the test key unless the test says otherwise.
        if sign_manifest if sign_manifest is not None else installer == PINNED_INSTALLER:
            self.manifest_text = signed_manifest(self.manifest_text)
        self.manifest_fault, self.assistant, self.certificate = manifest_fault, assistant, certificate
        self.arch, self.registry = arch, list(registry)
        self.assistant_dir = assistant_dir or globals()["assistant_dir"](arch)
        self.setup, self.setup_fault, self.setup_behaviour = setup, setup_fault, setup_behaviour
        self.installer = installer
        self.native_dlls = native_dlls  # DLL names Wine should take from a file found first, not its own
        self.second_server = second_server  # a certificate name: the same files on port 8444 with it
        self.shared_display = display  # an X display to use instead of an Xvfb of our own
        # The user's temporary folder, as a Windows path without its last backslash.
        self.temp_folder = temp_folder or "C:\\users\\%s\\Temp" % pwd.getpwuid(os.getuid()).pw_name
        self.own_temp_folder = temp_folder is not None
        self.dpi = dpi  # the display's scale, as Windows's LogPixels; None leaves Wine's 96
        self.netns = "razi%dx%d" % (os.getpid(), next(_names))
        self.processes = []

    # -- set-up and tear-down ------------------------------------------------

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="da-razi-e2e.")
        self.prefix = os.path.join(self.dir, "prefix")
        self.root = os.path.join(self.dir, "www")
        os.makedirs(self.prefix)
        os.makedirs(os.path.join(self.root, os.path.dirname(MANIFEST_PATH)))
        try:
            self._ip("netns", "add", self.netns)
            self._ip("-n", self.netns, "link", "set", "lo", "up")
            if self.online:
                self.go_online()
            subprocess.run([os.path.join(SOURCE, "tests/wine/copy-prefix"), TEMPLATES[self.arch], self.prefix],
                           check=True)
            self._start_display()
            self._write_registry()
            if self.own_temp_folder:
                self._use_temp_folder()
            if self.assistant:
                os.makedirs(os.path.dirname(self.assistant_file()), exist_ok=True)
                shutil.copy(os.path.join(TOOLS, "fake_assistant.exe"), self.assistant_file())
            self.write_file(MANIFEST_PATH, self.manifest_text)
            if self.manifest_fault:
                self.write_file(MANIFEST_PATH + ".fault", self.manifest_fault)
            if self.setup:
                shutil.copy(os.path.join(SETUPS, self.setup + ".exe"), os.path.join(self.root, SETUP_PATH))
            if self.setup_fault:
                self.write_file(SETUP_PATH + ".fault", self.setup_fault)
            if self.setup_behaviour:
                self.set_setup_behaviour(self.setup_behaviour)
            if self.serve:
                self._start_server(8443, self.certificate)
            if self.second_server:
                self._start_server(8444, self.second_server)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        # Wine first, while its display still exists, then the rest.
        self._in_netns(["wineserver", "-k"], check=False, stderr=subprocess.DEVNULL)
        self._in_netns(["wineserver", "-w"], check=False, stderr=subprocess.DEVNULL)
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        subprocess.run(["ip", "netns", "del", self.netns], stderr=subprocess.DEVNULL)
        shutil.rmtree(self.dir, ignore_errors=True)

    def go_online(self):
        ns = ["-n", self.netns]
        self._ip(*ns, "link", "add", "v0", "type", "veth", "peer", "name", "v1")
        self._ip(*ns, "link", "set", "v0", "up")
        self._ip(*ns, "link", "set", "v1", "up")
        self._ip(*ns, "addr", "add", "192.0.2.1/24", "dev", "v0")
        self._ip(*ns, "route", "add", "default", "via", "192.0.2.2", "dev", "v0")

    @staticmethod
    def _ip(*args):
        subprocess.run(["ip"] + list(args), check=True)

    def env(self, debug="-all"):
        overrides = "mscoree,mshtml="
        if self.native_dlls:
            overrides += ";%s=n,b" % ",".join(self.native_dlls)
        return dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG=debug, WINEDLLOVERRIDES=overrides,
                    LC_ALL=self.locale, DISPLAY=self.display)

    def _in_netns(self, command, **kwargs):
        return subprocess.run(["ip", "netns", "exec", self.netns] + command, env=self.env(), **kwargs)

    def _spawn(self, command, debug="-all", **kwargs):
        process = subprocess.Popen(["ip", "netns", "exec", self.netns] + command, env=self.env(debug), **kwargs)
        self.processes.append(process)
        return process

    def start_program(self, program, *args):
        """Starts a Windows program in this world, its output discarded."""
        return self._spawn(["wine", program] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _start_display(self):
        if self.shared_display:
            self.display = self.shared_display
            return
        self.display = ""
        read_end, write_end = os.pipe()
        process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
                                    "1024x768x24"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        self.processes.insert(0, process)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def _write_registry(self):
        """Prefix settings; `registry` rows (view, key, name, text) go to the
        registry view "32" or "64" of a 64-bit prefix, or with view None to the
        default one. The product's own values go to the view it reads: the
        32-bit one, which is the default one only in a 32-bit prefix."""
        product = []
        if self.enable_lua is not None:
            product += ["[%s]" % POLICY_KEY, '"EnableLUA"=dword:%08x' % self.enable_lua, ""]
        if self.installed is not None:
            product += ["[%s]" % PRODUCT_KEY, '"Version"="%s"' % self.installed, ""]
        product_view = "32" if self.arch == "win64" else None
        lines = [r"[HKEY_CURRENT_USER\Software\Wine]", '"Version"="%s"' % self.windows, ""]
        if self.dpi is not None:
            lines += [r"[HKEY_CURRENT_USER\Control Panel\Desktop]", '"LogPixels"=dword:%08x' % self.dpi, ""]
        if product_view is None:
            lines += product
        for view, key, name, value in self.registry:
            if view is None:
                lines += ["[%s]" % key, '"%s"="%s"' % (name, value), ""]
        self._import_registry(lines)
        for view in ("32", "64"):
            view_lines = list(product) if view == product_view else []
            for _, key, name, value in (row for row in self.registry if row[0] == view):
                view_lines += ["[%s]" % key, '"%s"="%s"' % (name, value), ""]
            if view_lines:
                self._import_registry(view_lines, "/reg:" + view)

    def _use_temp_folder(self):
        """Makes temp_folder the user's temporary folder. Its name may hold
        any characters: it goes in through a UTF-16 file, as no Unix command
        line can carry it here."""
        os.makedirs(self.temp_file(""), exist_ok=True)
        path = os.path.join(self.dir, "temp-folder.reg")
        value = self.temp_folder.replace("\\", "\\\\")
        with open(path, "w", encoding="utf-16", newline="\r\n") as f:
            f.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Environment]\n"
                    '"TEMP"="%s"\n"TMP"="%s"\n' % (value, value))
        self._set_up_with(["wine", "regedit", "/S", windows_path(path)])

    def _import_registry(self, lines, *view):
        # UTF-16, so that a value may hold any characters.
        path = os.path.join(self.dir, "settings%s.reg" % "".join(view).replace("/reg:", "-"))
        with open(path, "w", encoding="utf-16", newline="\r\n") as f:
            f.write("\n".join(["Windows Registry Editor Version 5.00", ""] + lines) + "\n")
        self._set_up_with(["wine", "reg", "import", windows_path(path)] + list(view))

    def _set_up_with(self, command):
        """Runs a Windows program that prepares this world; a failure says
        what Wine printed, which a passing run does not show. The output goes
        to a file: a pipe would stay open in the Wine server that the first
        program of a world starts, and hold the caller until that ends."""
        for attempt in range(3):
            with tempfile.TemporaryFile(dir=self.dir) as output:
                result = self._in_netns(command, stdout=output, stderr=output)
                if result.returncode == 0:
                    return
                output.seek(0)
                printed = output.read().decode(errors="replace")[-2000:] or "nothing"
            # Seen once in hundreds of runs: Wine's loader failed to start its
            # own reg.exe and fell back to start.exe, which printed this. It
            # concerns no program under test, so the step is run again.
            if "ShellExecuteEx failed" not in printed:
                break
            print("setting up the world: Wine could not start %s (attempt %d); it printed: %s" % (
                command[1], attempt + 1, printed), file=sys.stderr)
        raise RuntimeError("setting up the world: %s ended with %d; it printed: %s" % (
            " ".join(command), result.returncode, printed))

    def _start_server(self, port, certificate):
        ready = os.path.join(self.dir, "server%d.ready" % port)
        self._spawn(["python3", os.path.join(SOURCE, "tests/e2e/server.py"), "--root", self.root,
                     "--port", str(port), "--cert", os.path.join(CERTS, certificate + ".pem"),
                     "--key", os.path.join(CERTS, certificate + ".key"), "--ready-file", ready])
        wait_until(lambda: os.path.exists(ready), 10, "the test server on port %d to start" % port,
                   lambda: "no %s" % ready, interval=0.05)

    # -- what a test does ----------------------------------------------------

    def set_setup_behaviour(self, behaviour):
        """"EXIT_CODE SLEEP_MS" for the fake setup's next runs."""
        with open(os.path.join(self.prefix, "drive_c/setup-behaviour.txt"), "w") as f:
            f.write(behaviour + "\n")

    def _setup_lines(self, name):
        try:
            with open(os.path.join(self.prefix, "drive_c", name), encoding="utf-8") as f:
                return [line for line in f.read().splitlines() if line]
        except FileNotFoundError:
            return []

    def setup_runs(self):
        """The command line of each run of the fake setup."""
        return self._setup_lines("setup-runs.txt")

    def run_log(self):
        """The events of the installer's log, each without its time and
        process id, in order; every line must have both."""
        try:
            with open(self.temp_file("DA_Razi.log"), encoding="utf-8") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        for line in lines:
            assert re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \d+ \S", line), "a malformed log line: %r" % line
        return [line.split(" ", 3)[3] for line in lines]

    def setup_self_checks(self):
        """For each run of the fake setup, "own" if the file at its path was
        still its own when it read itself back, else "foreign"."""
        return self._setup_lines("setup-self.txt")

    def start_swapper(self, evil, duration_ms, mode=None, target="ZIDEVADID.EXE", served=SETUP_PATH):
        """The swap racer against the downloaded `target` (of the file the
        server has at `served`), in `mode` (None, "after-lock", "running" or
        "replace-after-close"); its output file."""
        output = os.path.join(self.dir, "swapper.txt")
        size = os.path.getsize(os.path.join(self.root, served))
        self._spawn(["wine", os.path.join(TOOLS, "swapper.exe"), target, windows_path(evil), str(size),
                     str(duration_ms)] + ([mode] if mode else []),
            stdout=open(output, "wb"), stderr=subprocess.DEVNULL)
        return output

    def write_file(self, relative, text):
        path = os.path.join(self.root, relative)
        if isinstance(text, str):
            with open(path, "w") as f:
                f.write(text)
        else:
            with open(path, "wb") as f:
                f.write(text)

    def start_installer(self, stderr=None, relay=None, channels=""):
        """Starts the installer; Wine's trace of its shell launches goes to a
        file, and with `relay` (a function such as
        "user32.SetLayeredWindowAttributes") so do the calls of it; `channels`
        adds trace channels (",+loaddll")."""
        if stderr is None:
            stderr = open(os.path.join(self.dir, "launches.trace"), "ab")
        debug = "-all,trace+exec" + channels
        if relay:
            self._import_registry([r"[HKEY_CURRENT_USER\Software\Wine\Debug]", '"RelayInclude"="%s"' % relay, ""])
            debug += ",+relay"
        return self._spawn(["wine", self.installer], debug=debug, stdout=subprocess.DEVNULL, stderr=stderr)

    def trace(self):
        """Wine's trace of the installer's runs, with the channels they asked for."""
        try:
            with open(os.path.join(self.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def relayed_calls(self, function):
        """The arguments, as hexadecimal texts, of each relayed call of `function`."""
        with open(os.path.join(self.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
            trace = f.read()
        return [args.split(",") for args in re.findall(r"Call %s\(([^)]*)\)" % re.escape(function), trace)]

    def launch_apartments(self):
        """For each ShellExecuteEx call, the apartment models (CoInitializeEx's
        second argument, as a number) its thread asked for before it; needs
        the relay of combase.CoInitializeEx."""
        with open(os.path.join(self.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
            trace = f.read()
        asked, launches = {}, []
        for thread, model, launch in re.findall(
                r"^([0-9a-f]+):(?:Call combase\.CoInitializeEx\([0-9a-f]+,([0-9a-f]+)\)|(trace:exec:SHELL_execute mask=))",
                trace, re.M):
            if launch:
                launches.append(list(asked.get(thread, [])))
            else:
                asked.setdefault(thread, []).append(int(model, 16))
        return launches

    def annotations(self):
        """(window, property GUID, value) of each accessibility annotation the
        installer asked for, in order, from Wine's trace of its annotation
        service (channel fixme+oleacc), which stores none: a number for a
        number, the text for a text."""
        with open(os.path.join(self.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
            trace = f.read()
        found = re.findall(r"AccPropServices_SetHwndProp(?:Str)? \(([0-9A-Fa-f]+) \d+ \d+ \{([-0-9a-f]+)\} "
                           r'(?:(?:[0-9A-Fa-f]+ )?\{VT_I4: (-?\d+)\}|L"((?:[^"\\]|\\.)*)")\)', trace)
        return [(int(window, 16), guid, int(number) if number else unescape_trace(text))
                for window, guid, number, text in found]

    def menu_items(self):
        """The text of every menu item the installer inserted, from Wine's menu trace."""
        with open(os.path.join(self.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
            trace = f.read()
        return [unescape_trace(text) for text in re.findall(r'InsertMenuW .*?str L"((?:[^"\\]|\\.)*)"', trace)]

    def shell_launches(self):
        """(mask, verb, file, parameters, show, window) of every ShellExecuteEx
        call the installer made; the window as a number, 0 for none."""
        try:
            with open(os.path.join(self.dir, "launches.trace"), encoding="utf-8", errors="replace") as f:
                trace = f.read()
        except FileNotFoundError:
            return []
        pattern = (r'SHELL_execute mask=0x([0-9a-f]+) hwnd=(\S+) verb=(?:L"(.*?)"|\(null\)) file=L"(.*?)" '
                   r'parm=(?:L"(.*?)"|\(null\)) .*?show=0x([0-9a-f]+)')

        def number(pointer):
            return 0 if pointer == "(nil)" else int(pointer, 16)

        return [(int(mask, 16), verb, unescape_trace(file), parm, int(show, 16), number(window))
                for mask, window, verb, file, parm, show in re.findall(pattern, trace)]

    def run_installer(self, timeout=30):
        """Runs a second copy to its end; its exit code, or None if it hung."""
        process = self.start_installer(stderr=subprocess.DEVNULL)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def driver(self, *args, timeout=60, window=None):
        env = self.env()
        if window:
            env["UIDRIVER_WINDOW"] = window
        command = ["ip", "netns", "exec", self.netns, "wine", os.path.join(TOOLS, "uidriver.exe")]
        command += [str(a) for a in args]
        result = subprocess.run(command, env=env, stdout=subprocess.PIPE, timeout=timeout)
        if not result.stdout and result.returncode != 0 and args[0] not in SILENT_DRIVER_COMMANDS:
            # Under load, Wine very rarely fails to start a program at all
            # (seen: no output and a failure within a second). A driver that
            # printed nothing did nothing, so it is started once more.
            print("the UI driver printed nothing and ended with %d; starting it again" % result.returncode, flush=True)
            result = subprocess.run(command, env=env, stdout=subprocess.PIPE, timeout=timeout)
        lines = result.stdout.decode("utf-8", "replace").replace("\r", "").splitlines()
        windows, current = [], None
        for line in lines:
            if line == "window":
                current = []
            elif line == "end" and current is not None:
                windows.append(Window(current))
                current = None
            elif current is not None:
                current.append(line)
        return result.returncode, windows, lines

    def wait_window(self, ms=20000, window=None):
        code, windows, lines = self.driver("wait", ms, window=window)
        assert code == 0 and windows, "no window appeared: %s" % lines
        return windows[0]

    def press(self, control, ms=20000, window=None):
        code, windows, lines = self.driver("press", control, ms, window=window)
        assert code == 0 and windows, "could not press %s: %s" % (control, lines)
        return windows[0]

    def key(self, virtual_key, ms=20000):
        """Sends a keystroke to the control that has the focus; the window as
        it was just before."""
        code, windows, lines = self.driver("key", virtual_key, ms)
        assert code == 0 and windows, "no keystroke sent: %s" % lines
        return windows[0]

    def start_listener(self, seconds=10):
        """Listens, from another process, to the live-region events of the
        installer's windows, as a screen reader does, until the installer
        has ended; for live_events(). Start it before the installer."""
        output = os.path.join(self.dir, "live-events.txt")
        command = ["wine", os.path.join(TOOLS, "uidriver.exe"), "listen", "300000"]
        listener = self._spawn(command, stdout=open(output, "wb"), stderr=subprocess.DEVNULL)
        wait_until(lambda: "listening" in self._lines(output), seconds, "the live-region listener's hook",
                   lambda: self._lines(output) or "no output")
        return listener, output

    def live_events(self, listening, seconds=30):
        """(control id, object id, child id, text) of each live-region event
        that the listener saw, once the installer has ended."""
        listener, output = listening
        try:
            listener.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise AssertionError("timed out after %g s awaiting the listener's end; last seen: %s" % (
                seconds, self._lines(output)))
        lines = self._lines(output)
        assert lines[-1:] == ["ended"], lines
        return [(int(ident), int(obj), int(child), text) for ident, obj, child, text in
                ((line.split(" ", 4) + [""])[1:5] for line in lines if line.startswith("live "))]

    @staticmethod
    def _lines(path):
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read().replace("\r", "").splitlines()

    def windows_now(self, window=None):
        """The installer's windows, in their order on screen, the topmost first."""
        return self.driver("list", window=window)[1]

    def work_area(self):
        """The screen's work area, (left, top, right, bottom)."""
        lines = self.driver("list")[2]
        return next(tuple(int(n) for n in line.split()[1:]) for line in lines if line.startswith("workarea "))

    def send(self, message, wparam, window=None):
        """SendMessage to the first window; the handler's result."""
        code, _, lines = self.driver("send", message, wparam, 20000, window=window)
        assert code == 0 and lines and lines[-1].startswith("result "), lines
        return int(lines[-1].split()[1])

    def post(self, message, wparam, window=None):
        assert self.driver("post", message, wparam, 20000, window=window)[0] == 0

    def wait_status(self, text, seconds=40, window=None):
        """Waits for the install dialog to show `text`, or any text of a tuple."""
        texts = text if isinstance(text, tuple) else (text,)
        return self.wait_for(lambda win: win.status in texts and IDC_PROGRESS in win.controls, seconds, window,
                             "the status %s" % " or ".join(repr(t) for t in texts))

    def wait_for(self, predicate, seconds=30, window=None, what="the window state the test asks for"):
        """Polls the first window until predicate(window) holds in two
        snapshots in a row that agree; the later one."""
        seen = [None]

        def settled():
            windows = self.windows_now(window=window)
            if not windows:
                return None
            last, seen[0] = seen[0], windows[0]
            if last is not None and predicate(last) and predicate(seen[0]) and seen[0].settled_with(last):
                return seen[0]
            return None

        return wait_until(settled, seconds, what, lambda: repr(seen[0]) if seen[0] else "no window", interval=0.2)

    def screenshot(self, png_path):
        """Saves the screen as PNG (converted here from the driver's bitmap)."""
        bmp = os.path.join(self.dir, "screen.bmp")
        assert self.driver("shot", windows_path(bmp))[0] == 0
        bmp_to_png(bmp, png_path)

    def watch_screen(self, process, ms):
        """The UI driver's "quiet" for the installer `process`: its first
        window once one shows, or none once it has ended or `ms` have passed.
        The driver may look before Wine has started the installer at all,
        and then reports an end that has not come; while the process still
        runs, it is asked again."""
        deadline = time.time() + ms / 1000
        while True:
            code, windows, lines = self.driver("quiet", max(1, int((deadline - time.time()) * 1000)))
            if windows or lines[-1:] != ["ended"] or process.poll() is not None or time.time() >= deadline:
                return code, windows, lines

    def expect_quiet_end(self, process, ms=30000):
        """Nothing shows on screen until the installer has ended by itself, cleanly."""
        code, windows, lines = self.watch_screen(process, ms)
        assert code == 0, "a window showed: %s" % windows
        exit_code = self.wait_exit(process)
        assert exit_code == 0, "the installer ended with exit code %s" % exit_code

    def wait_exit(self, process, seconds=30):
        try:
            return process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise AssertionError("the installer did not end within %s s" % seconds)

    def assistant_file(self):
        """Where the product looks for the assistant's program."""
        return os.path.join(self.prefix, self.assistant_dir, "QXZELK_Assistant.exe")

    def assistant_runs(self):
        try:
            with open(os.path.join(self.prefix, self.assistant_dir, "runs.txt"), encoding="utf-8") as f:
                return [line for line in f.read().splitlines() if line]
        except FileNotFoundError:
            return []

    def wait_assistant_runs(self, count=1, seconds=15):
        """The assistant's recorded starts, once there are `count` of them."""
        def enough():
            runs = self.assistant_runs()
            return runs if len(runs) >= count else None

        return wait_until(enough, seconds, "%d start(s) of the assistant" % count, self.assistant_runs)

    def temp_file(self, name):
        """The Unix path of `name` in the user's temporary folder."""
        drive, _, rest = self.temp_folder.partition(":\\")
        assert drive.upper() == "C", self.temp_folder
        return os.path.join(self.prefix, "drive_c", *rest.split("\\"), name)

    def wait_answer_begun(self, relative, seconds=30):
        """Waits until the server has sent the headers of its answer for
        `relative`: the installer is inside that download."""
        def answers():
            try:
                with open(os.path.join(self.root, "answers.log")) as f:
                    return f.read().split()
            except FileNotFoundError:
                return []

        wait_until(lambda: "/" + relative in answers(), seconds, "the server's answer for /" + relative,
                   lambda: "answers begun for %s" % (answers() or "nothing"))

    def wait_swapper_report(self, report, seconds=30):
        """The swap racer's figures, once it has printed them: it prints its
        one line at its end."""
        def figures():
            with open(report) as f:
                text = f.read()
            return text.split() if text.endswith("\n") else None

        return wait_until(figures, seconds, "the swap racer's report in " + report,
                          lambda: repr(open(report).read()))

    def answers(self, path=SETUP_PATH):
        """What the server answered to each request for `path`, in order:
        (status, Range asked or None, If-Range sent or None, bytes sent)."""
        try:
            with open(os.path.join(self.root, "headers.log")) as f:
                lines = [line.split() for line in f]
        except FileNotFoundError:
            return []
        return [(int(status), None if asked == "-" else asked.replace("_", " "),
                 None if condition == "-" else condition.replace("_", " "), int(sent))
                for logged, status, asked, condition, sent in lines if logged == "/" + path]

    def requests(self):
        try:
            with open(os.path.join(self.root, "requests.log")) as f:
                return [line.split() for line in f]
        except FileNotFoundError:
            return []


def run_suite(cases, argv, noun):
    """Runs (name, check) cases, where check() returns a detail text or
    raises; with argv "K/N" only the K-th of N shards. Prints a line per case
    and "N <noun>, N as expected"; the exit status says whether all were."""
    shard, shards = (int(part) for part in argv[0].split("/")) if argv else (1, 1)
    chosen = cases[shard - 1::shards]
    as_expected = 0
    for name, check in chosen:
        try:
            detail, ok = check(), True
        except Exception as error:  # a failed expectation or a hang
            detail, ok = "%s: %s" % (type(error).__name__, error), False
        as_expected += ok
        print("%-4s %-45s %s" % ("ok" if ok else "FAIL", name, detail), flush=True)
    print("%d %s, %d as expected" % (len(chosen), noun, as_expected))
    return 0 if as_expected == len(chosen) else 1
