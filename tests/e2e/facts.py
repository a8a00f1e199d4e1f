"""The product's own ids and texts, read from its sources, so that a changed
id or text cannot leave a test checking the old one. Whatever cannot be
read raises SourceError, which names the file.

TEXTS[locale][slot] is what the user sees in that locale, with slot the
name of a message slot without "MSG_", in lower case ("title", "retry").
"""
import os
import re

SOURCE = os.path.realpath(os.environ.get("RAZI_SOURCE_DIR",
                                         os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")))
# Each locale's table and the code page that the build stores it in and Windows shows it in.
TABLES = {
    "en_US.UTF-8": ("app/MessagesEnglish.cpp", "cp1252"),
    "zh_CN.UTF-8": ("app/MessagesSimplifiedChinese.cpp", "cp936"),
    "zh_TW.UTF-8": ("app/MessagesTraditionalChinese.cpp", "cp950"),
}
# Windows's own names that the product's headers may build on.
WINDOWS_NAMES = {"WM_USER": 0x0400}


class SourceError(Exception):
    def __init__(self, path, problem):
        super().__init__("%s: %s" % (path, problem))


def read_source(relative):
    """The path and UTF-8 text of a source file."""
    path = os.path.join(SOURCE, relative)
    try:
        with open(path, encoding="utf-8") as f:
            return path, f.read()
    except (OSError, UnicodeDecodeError) as error:
        raise SourceError(path, error)


def integer(expression, path):
    """The value of a C integer constant or a sum of them."""
    terms = expression.replace("(", " ").replace(")", " ").split("+")
    total = 0
    for term in (term.strip() for term in terms):
        literal = re.fullmatch(r"(0[xX][0-9a-fA-F]+|0[0-7]*|[1-9][0-9]*)[uUlL]*", term)
        if literal:
            digits = literal.group(1)
            total += int(digits, 16 if digits[:2] in ("0x", "0X") else 8 if digits.startswith("0") else 10)
        elif term in WINDOWS_NAMES:
            total += WINDOWS_NAMES[term]
        else:
            raise SourceError(path, "cannot read %r as an integer" % expression.strip())
    return total


def without_comments(text):
    """C text without its comments, for files whose comments hold no quotes."""
    return re.sub(r"//[^\n]*|/\*.*?\*/", " ", text, flags=re.S)


def defined(relative, name):
    """The integer that `name` is defined as: #define, or a const initializer."""
    path, text = read_source(relative)
    found = re.findall(r"^\s*#define\s+%s\s+(.+)$|\b%s\s*=(?!=)\s*([^;]+);" % (name, name), without_comments(text), re.M)
    if len(found) != 1:
        raise SourceError(path, "%d definitions of %s, not one" % (len(found), name))
    return integer(found[0][0] or found[0][1], path)


def enumeration(relative, name):
    """The members of the enum `name` and their values, in order."""
    path, text = read_source(relative)
    body = re.search(r"\benum\s+(?:class\s+)?%s\b[^{;]*\{(.*?)\}" % name, without_comments(text), re.S)
    if not body:
        raise SourceError(path, "no enum %s" % name)
    members, following = {}, 0
    for item in filter(None, (item.strip() for item in body.group(1).split(","))):
        member, equals, expression = (part.strip() for part in item.partition("="))
        if not re.fullmatch(r"[A-Za-z_]\w*", member):
            raise SourceError(path, "cannot read %r in enum %s" % (item, name))
        members[member] = integer(expression, path) if equals else following
        following = members[member] + 1
    return members


def message_slots():
    """The slot names in the order of the tables' entries."""
    members = enumeration("app/MessageSet.h", "MessageSlot")
    count = members.pop("MSG_SLOT_COUNT", None)
    if sorted(members.values()) != list(range(len(members))) or count != len(members):
        raise SourceError(os.path.join(SOURCE, "app/MessageSet.h"), "MessageSlot is not 0, 1, ... MSG_SLOT_COUNT")
    return sorted(members, key=members.get)


ESCAPES = {"n": b"\n", "t": b"\t", "r": b"\r", "a": b"\a", "b": b"\b", "f": b"\f", "v": b"\v",
           "\\": b"\\", '"': b'"', "'": b"'", "?": b"?"}


def literal_bytes(literal, code_page, path):
    """The bytes a narrow C string literal stores when the build's execution
    character set is `code_page`."""
    stored = bytearray()
    parts = re.split(r"\\([0-7]{1,3}|x[0-9a-fA-F]+|u[0-9a-fA-F]{4}|U[0-9a-fA-F]{8}|.)", literal[1:-1], flags=re.S)
    try:
        for index, part in enumerate(parts):
            if index % 2 == 0:
                stored += part.encode(code_page)
            elif part[0] in "01234567":
                stored.append(int(part, 8))
            elif part[0] == "x":
                stored.append(int(part[1:], 16))
            elif part[0] in "uU":
                stored += chr(int(part[1:], 16)).encode(code_page)
            elif part in ESCAPES:
                stored += ESCAPES[part]
            else:
                raise ValueError("unknown escape \\" + part)
    except (UnicodeError, ValueError) as error:
        raise SourceError(path, "cannot read %s: %s" % (literal, error))
    return bytes(stored)


TOKEN = re.compile(r'\s+|"(?:[^"\\\n]|\\.)*"|//[^\n]*|/\*.*?\*/|[,}]|[^\s,}]+', re.S)


def message_table(relative, code_page, slots):
    """A table's texts by slot; each entry must carry the comment of its
    slot, in the order of the slots."""
    path, text = read_source(relative)
    start = re.search(r"\bMessageColumn\s+\w+\s*=\s*\{", text)
    if not start:
        raise SourceError(path, "no MessageColumn table")
    entries, current = [], None  # [slot label or None, stored bytes]
    for token in TOKEN.finditer(text, start.end()):
        token = token.group()
        if token.startswith('"'):
            current = current or [None, b""]
            current[1] += literal_bytes(token, code_page, path)
        elif token in (",", "}"):
            if current is None and token == ",":
                raise SourceError(path, "an entry without text after %s" % (entries[-1][0] if entries else "{"))
            if current:
                entries.append(current)
            current = None
            if token == "}":
                break
        elif token.startswith("//"):
            label = re.match(r"//\s*(MSG_\w+)", token)
            owner = current or (entries[-1] if entries else None)
            if label and owner and owner[0] is None:
                owner[0] = label.group(1)
        elif not token.isspace() and not token.startswith("/*"):
            raise SourceError(path, "cannot read %r in the table" % token)
    labels = [label for label, _ in entries]
    if labels != slots:
        raise SourceError(path, "the entries are labelled %s, not %s" % (labels, slots))
    try:
        return {label[len("MSG_"):].lower(): stored.decode(code_page) for label, stored in entries}
    except UnicodeDecodeError as error:
        raise SourceError(path, error)


def dialog_caption(relative, dialog):
    path, text = read_source(relative)
    caption = re.search(r"^%s\s+DIALOG(?:EX)?\b(?:(?!^BEGIN\b).)*?^CAPTION\s+\"((?:[^\"]|\"\")*)\"" % dialog, text,
                        re.S | re.M)
    if not caption:
        raise SourceError(path, "no caption of %s" % dialog)
    return caption.group(1).replace('""', '"')


IDC_STATUS = defined("res/resource.h", "IDC_STATUS")
IDC_PROGRESS = defined("res/resource.h", "IDC_PROGRESS")
IDM_ABOUTBOX = defined("res/resource.h", "IDM_ABOUTBOX")
ABOUT_CAPTION = dialog_caption("res/DA_Razi.rc", "IDD_ABOUTBOX")
WM_INSTALL_STATUS = defined("ui/InstallStatus.h", "WM_INSTALL_STATUS")
INSTALL_STATUS_CODES = enumeration("ui/InstallStatus.h", "InstallStatus")
SLOTS = message_slots()
TEXTS = {locale: message_table(relative, code_page, SLOTS) for locale, (relative, code_page) in TABLES.items()}
ENGLISH = TEXTS["en_US.UTF-8"]
