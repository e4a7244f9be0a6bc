#!/usr/bin/env python3
"""The package's Chinese texts, put into a built MSI.

The MSI compiler of this machine cannot write text outside ASCII, so the
package is compiled with ASCII stand-ins of the same length in bytes (in
code page 936, the package's code page) and this tool puts the real texts
into its string pool in place. Lengths stay the same, so no table changes.
The compiler also writes English into the summary's template ("x64;1033"):
the package's language is put there, as the installer and deployment tools
choose a package by it.

    msi_texts.py placeholders          -> prints NAME=STAND-IN lines
    msi_texts.py patch PACKAGE.msi     -> replaces every stand-in
"""
import struct
import sys

import olefile

CODE_PAGE = 936
LANGUAGE = 2052  # Chinese (PRC), the product's language

# The texts of the package, by the name the package definition uses.
TEXTS = {
    "ProductName": "Velmora资源平台助手",
    "ShortcutName": "Velmora资源平台助手",
    "Description": "Velmora助手",
    "DowngradeMessage": "已安装更新版本的Velmora助手。",
}


def stand_in(name):
    size = len(TEXTS[name].encode("cp%d" % CODE_PAGE))
    text = "VM" + name
    if len(text) > size:
        text = "VM" + name[: size - 2]
    return (text + "_" * size)[:size]


ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def stream_name(encoded):
    """A stream's name as the database knows it ("!" marks a table)."""
    name = ""
    for ch in encoded:
        c = ord(ch)
        if 0x3800 <= c < 0x4800:
            c -= 0x3800
            name += ALPHABET[c & 0x3F] + ALPHABET[(c >> 6) & 0x3F]
        elif 0x4800 <= c < 0x4840:
            name += ALPHABET[c - 0x4800]
        elif c == 0x4840:
            name += "!"
        else:
            name += ch
    return name


def set_code_page(ole, entry, code_page):
    """The string pool's first word names its code page (the top bit is a flag)."""
    pool = bytearray(ole.openstream(entry).read())
    flag = struct.unpack("<I", pool[:4])[0] & 0x80000000
    pool[:4] = struct.pack("<I", code_page | flag)
    ole.write_stream(entry, bytes(pool))


def with_template_language(summary):
    """The template ends in the package's languages: "PLATFORM;LANGUAGE"."""
    english = b";1033\x00"
    if english not in summary:
        sys.exit("no English template language in the summary")
    return summary.replace(english, b";%d\x00" % LANGUAGE)


def patch(path):
    stand_ins = {stand_in(n).encode("ascii"): TEXTS[n].encode("cp%d" % CODE_PAGE) for n in TEXTS}
    ole = olefile.OleFileIO(path, write_mode=True)
    found = set()
    for entry in ole.listdir(streams=True):
        if stream_name(entry[-1]) == "!_StringPool":
            set_code_page(ole, entry, CODE_PAGE)
            continue
        # A stream is read once: the reader keeps small streams cached.
        data = ole.openstream(entry).read()
        patched = data
        if entry[-1] == "\x05SummaryInformation":
            patched = with_template_language(patched)
        for old, new in stand_ins.items():
            if old in patched:
                found.add(old)
                patched = patched.replace(old, new)
        if patched != data:
            ole.write_stream(entry, patched)
    ole.close()
    missing = set(stand_ins) - found
    if missing:
        sys.exit("stand-ins not found in %s: %s" % (path, sorted(m.decode() for m in missing)))


if __name__ == "__main__":
    if sys.argv[1:2] == ["placeholders"]:
        for name in TEXTS:
            print("%s=%s" % (name, stand_in(name)))
    elif sys.argv[1:2] == ["patch"] and len(sys.argv) == 3:
        patch(sys.argv[2])
    else:
        sys.exit(__doc__)
