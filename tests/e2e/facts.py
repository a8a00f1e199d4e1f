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
# Each locale's table. The sources are UTF-8; the build stores the texts as UTF-16.
TABLES = {
    "en_US.UTF-8": "app/MessagesEnglish.cpp",
    "zh_CN.UTF-8": "app/MessagesSimplifiedChinese.cpp",
    "zh_TW.UTF-8": "app/MessagesTraditionalChinese.cpp",
}
# A table's entry: one text, as one literal with no escapes but \" and \\, and its slot's comment.
ENTRY = re.compile(r'\s*MESSAGE_TEXT\("((?:[^"\\]|\\["\\])*)"\),\s*//\s*(MSG_\w+)\s*')


class SourceError(Exception):
    def __init__(self, path, problem):
        super().__init__("%s: %s" % (path, problem))


def read_source(relative):
    """The path and text of a source file."""
    path = os.path.join(SOURCE, relative)
    try:
        with open(path, encoding="utf-8") as f:
            return path, f.read()
    except (OSError, UnicodeDecodeError) as error:
        raise SourceError(path, error)


def integer(expression, path):
    """A constant as the headers write it: numbers and WM_USER, added."""
    try:
        return sum(0x0400 if term.strip() == "WM_USER" else int(term, 0) for term in expression.split("+"))
    except ValueError:
        raise SourceError(path, "cannot read %r as an integer" % expression.strip())


def defined(relative, name):
    """The integer that `name` is defined as: #define, or a const initializer."""
    path, text = read_source(relative)
    found = re.findall(r"^\s*#define\s+%s\s+([^/\n]+)|\b%s\s*=\s*([^;]+);" % (name, name), text, re.M)
    if len(found) != 1:
        raise SourceError(path, "%d definitions of %s, not one" % (len(found), name))
    return integer(found[0][0] or found[0][1], path)


def enumeration(relative, name):
    """The members of the enum `name` and their values, in order."""
    path, text = read_source(relative)
    body = re.search(r"\benum\s+%s\s*\{(.*?)\}" % name, text, re.S)
    if not body:
        raise SourceError(path, "no enum %s" % name)
    members, following = {}, 0
    for item in re.sub(r"//[^\n]*|/\*.*?\*/", "", body.group(1), flags=re.S).split(","):
        member, equals, expression = (part.strip() for part in item.partition("="))
        if not member:
            continue
        if not re.fullmatch(r"[A-Za-z_]\w*", member):
            raise SourceError(path, "cannot read %r in enum %s" % (item.strip(), name))
        members[member] = integer(expression, path) if equals else following
        following = members[member] + 1
    return members


def message_table(relative, slots):
    """A table's texts by slot: an entry a line, labelled with its slot, in the order of the slots."""
    path, text = read_source(relative)
    table = re.search(r"\bMessageColumn\s+\w+\s*=\s*\{\n(.*?)^\};", text, re.S | re.M)
    if not table:
        raise SourceError(path, "no MessageColumn table")
    entries = []
    for line in table.group(1).splitlines():
        entry = ENTRY.fullmatch(line)
        if not entry:
            raise SourceError(path, "cannot read the entry %r" % line)
        entries.append((entry.group(2), re.sub(r"\\(.)", r"\1", entry.group(1))))
    if [label for label, _ in entries] != ["MSG_" + slot.upper() for slot in slots]:
        raise SourceError(path, "the entries are not labelled %s" % ", ".join(slots))
    return {label[len("MSG_"):].lower(): text for label, text in entries}


def dialog_caption(relative, dialog):
    path, text = read_source(relative)
    caption = re.search(r"^%s\s+DIALOG(?:EX)?\b(?:(?!^BEGIN\b).)*?^CAPTION\s+\"((?:[^\"]|\"\")*)\"" % dialog, text,
                        re.S | re.M)
    if not caption:
        raise SourceError(path, "no caption of %s" % dialog)
    return caption.group(1).replace('""', '"')


def message_slots():
    """The slot names, lower case without "MSG_", in the order of the tables' entries."""
    members = enumeration("app/MessageTables.h", "MessageSlot")
    count = members.pop("MSG_SLOT_COUNT", None)
    if sorted(members.values()) != list(range(len(members))) or count != len(members):
        raise SourceError(os.path.join(SOURCE, "app/MessageTables.h"), "MessageSlot is not 0, 1, ... MSG_SLOT_COUNT")
    return [member[len("MSG_"):].lower() for member in sorted(members, key=members.get)]


IDC_STATUS = defined("res/resource.h", "IDC_STATUS")
IDC_PROGRESS = defined("res/resource.h", "IDC_PROGRESS")
IDM_ABOUTBOX = defined("res/resource.h", "IDM_ABOUTBOX")
ABOUT_CAPTION = dialog_caption("res/DA_Razi.rc", "IDD_ABOUTBOX")
ABOUT_ITEM = re.search(r'^\s*IDS_ABOUTBOX\s+"([^"]*)"', read_source("res/DA_Razi.rc")[1], re.M).group(1)
WM_INSTALL_STATUS = defined("install/InstallStatus.h", "WM_INSTALL_STATUS")
INSTALL_STATUS_CODES = enumeration("install/InstallStatus.h", "InstallStatus")
DOWNLOAD_SILENCE_SECONDS = defined("install/DownloadLimits.h", "kDownloadSilenceLimitMs") / 1000
SLOTS = message_slots()
TEXTS = {locale: message_table(relative, SLOTS) for locale, relative in TABLES.items()}
ENGLISH = TEXTS["en_US.UTF-8"]
