#!/usr/bin/env python3
"""Checks the resources of a built executable with tools that are not ours.

    check_resources.py PROGRAM.exe

wrestool (icoutils) and objdump (binutils) list and extract the resources; icotool
decodes the icon. This script only compares what they report with what the installer
must carry: every resource with its type, id and language and nothing else, the
animation's layout, the 23 icon images, the string table, the dialog template, the
accelerators, the version block and the manifest.
"""

import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

ENGLISH_US = 1033
NEUTRAL = 0

ICON_IMAGES = ([(s, 1) for s in (48, 32, 16)] + [(s, 4) for s in (256, 48, 32, 24, 16)]
               + [(s, 8) for s in (256, 48, 32, 24, 16)]
               + [(s, 32) for s in (256, 128, 96, 80, 72, 64, 48, 32, 24, 16)])
PNG_IMAGES = {4, 9, 14}  # the 256-pixel images at 4, 8 and 32 bits

STRING_BLOCKS = [9, 13, 14, 15, 16, 3585, 3605]

EXPECTED = ({("AVI", 201, ENGLISH_US), ("5", 129, ENGLISH_US), ("9", 128, ENGLISH_US),
             ("14", 128, ENGLISH_US), ("16", 1, ENGLISH_US), ("24", 1, ENGLISH_US)}
            | {("3", n, ENGLISH_US) for n in range(1, 24)}
            | {("6", block, NEUTRAL) for block in STRING_BLOCKS})

TEXTS = {
    128: "Setup",
    200: "Initializing...",
    201: "Installing...",
    204: "Installation Failed, Contact customer support.\r\nDetails: %s",
    205: "%s is installing your updates and will start in a few moments...",
    220: "Initialisation...",
    221: "Installation...",
    224: "L'installation a \u00e9chou\u00e9, veuillez contacter le service client.\r\nD\u00e9tails: %s",
    225: "%s installe les mises \u00e0 jour et d\u00e9marrera dans quelques instants\u2026",
    57345: "Ready",
}
EMPTY_IDS = [202, 203, 222, 223]

# (flags, key, command); VIRTKEY 1, SHIFT 4, CONTROL 8, ALT 0x10; 0x80 marks the last.
ACCELERATORS = [(9, ord("N"), 0xE100), (9, ord("O"), 0xE101), (9, ord("S"), 0xE103), (9, ord("P"), 0xE107),
                (9, ord("Z"), 0xE12B), (9, ord("X"), 0xE123), (9, ord("C"), 0xE122), (9, ord("V"), 0xE125),
                (0x11, 0x08, 0xE12B), (5, 0x2E, 0xE123), (9, 0x2D, 0xE122), (5, 0x2D, 0xE125),
                (1, 0x75, 0xE150), (5 | 0x80, 0x75, 0xE151)]


class Checks:
    def __init__(self):
        self.failures = 0

    def expect(self, condition, what):
        if not condition:
            self.failures += 1
            print(f"FAIL: {what}")
        return condition

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, f"{what}: {actual!r}, expected {expected!r}")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def wrestool_list(program):
    """{(type, name, language): size} as wrestool reports it."""
    found = {}
    for line in run("wrestool", "-l", program).decode().splitlines():
        m = re.match(r"--type='?([^' ]+)'? --name='?([^' ]+)'? --language=(\d+) \[.*size=(\d+)\]", line)
        if m:
            found[(m.group(1), int(m.group(2)), int(m.group(3)))] = int(m.group(4))
    return found


def objdump_list(program):
    """{(type, name, language): size} from objdump's walk of the resource directory."""
    found = {}
    path = []
    text = run("i686-w64-mingw32-objdump", "-p", program).decode()
    section = text[text.find("The .rsrc Resource Directory section"):]
    for line in section.splitlines()[1:]:
        if not line.strip():
            break
        # objdump prints the id 0 as "00000000", without the 0x.
        m = re.match(r"[0-9a-f]+( +)Entry: (?:ID: (0x[0-9a-f]+|0+)|name: \[.*\]: (\S+)),", line)
        if m:
            depth = (len(m.group(1)) - 3) // 2
            key = str(int(m.group(2), 16)) if m.group(2) else m.group(3)
            path = path[:depth] + [key]
            continue
        m = re.match(r"[0-9a-f]+ +Leaf: Addr: 0x[0-9a-f]+, Size: (0x[0-9a-f]+)", line)
        if m and len(path) == 3:
            found[(path[0], int(path[1]), int(path[2]))] = int(m.group(1), 16)
    return found


def extract(program, kind, name):
    return run("wrestool", "-x", "--raw", f"--type={kind}", f"--name={name}", program)


def check_directory(checks, program):
    listed = wrestool_list(program)
    walked = objdump_list(program)
    missing = sorted(EXPECTED - set(listed))
    extra = sorted(set(listed) - EXPECTED)
    checks.expect(not missing, f"resources missing (type, id, language): {missing}")
    checks.expect(not extra, f"resources not expected (type, id, language): {extra}")
    checks.equal(walked, listed, "resources walked by objdump against wrestool")
    return listed, not missing


def check_animation(checks, program, listed):
    checks.equal(listed.get(("AVI", 201, ENGLISH_US)), 3584, "size of AVI 201")
    avi = extract(program, "AVI", 201)
    checks.equal(avi[:4] + avi[8:12], b"RIFFAVI ", "AVI signature")
    riff_size = struct.unpack_from("<I", avi, 4)[0]
    checks.equal(riff_size + 8, 3272, "RIFF length")
    checks.expect(not any(avi[3272:]), "zero padding after the RIFF data")
    at = avi.find(b"avih")
    (usec, max_bytes, _, flags, frames, _, streams, buffer, width, height) = struct.unpack_from("<10I", avi, at + 8)
    checks.equal((usec, max_bytes, flags, frames, streams, buffer, width, height),
                 (100000, 768, 0x810, 8, 1, 128, 16, 16), "main header")
    at = avi.find(b"strh")
    fields = struct.unpack_from("<4s4sIHHIIIIIIIIhhhh", avi, at + 8)
    checks.equal((fields[0], fields[1], fields[6], fields[7], fields[9], fields[13:]),
                 (b"vids", b"\0\0\0\0", 1, 10, 8, (0, 0, 16, 16)), "stream header")
    at = avi.find(b"strf")
    bmi = struct.unpack_from("<IiiHHIIiiII", avi, at + 8)
    checks.equal((bmi[0], bmi[1], bmi[2], bmi[3], bmi[4], bmi[5], bmi[9]), (40, 16, 16, 1, 4, 0, 16), "frame format")
    palette = [struct.unpack_from("<BBB", avi, at + 8 + 40 + 4 * i) for i in range(9)]
    checks.equal(["%02X%02X%02X" % (r, g, b) for b, g, r in palette],
                 ["000000", "999999", "00FFFF", "333333", "B2B2B2", "808080", "666666", "4C4C4C", "1A1A1A"],
                 "palette")
    junk = avi.find(b"JUNK")
    checks.equal(struct.unpack_from("<I", avi, junk + 4)[0], 1752, "JUNK length")
    checks.equal(avi.find(b"00db"), 2048, "offset of the first frame chunk")
    checks.equal(avi.count(b"00db"), 16, "frame chunks and index entries")
    at = avi.find(b"idx1")
    checks.equal(struct.unpack_from("<I", avi, at + 4)[0], 8 * 16, "index length")


def check_icon(checks, program):
    with tempfile.TemporaryDirectory() as scratch:
        ico = Path(scratch) / "group.ico"
        run("wrestool", "-x", "--type=14", "--name=128", "-o", str(ico), program)
        images = []
        for line in run("icotool", "-l", str(ico)).decode().splitlines():
            m = re.search(r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", line)
            images.append((int(m.group(1)), int(m.group(3))) if m and m.group(1) == m.group(2) else line)
        checks.equal(images, ICON_IMAGES, "icon images (size, depth) by icotool")
        out = Path(scratch) / "png"
        out.mkdir()
        run("icotool", "-x", "-o", str(out), str(ico))
        checks.equal(len(list(out.iterdir())), 23, "icon images icotool decodes")
    for number, (size, depth) in enumerate(ICON_IMAGES, start=1):
        data = extract(program, 3, number)
        if number in PNG_IMAGES:
            checks.equal(data[:8], b"\x89PNG\r\n\x1a\n", f"icon image {number} is PNG")
            checks.equal(struct.unpack_from(">II", data, 16), (size, size), f"icon image {number} PNG size")
        else:
            header = struct.unpack_from("<IiiHH", data, 0)
            checks.equal(header, (40, size, 2 * size, 1, depth), f"icon image {number} bitmap header")


def decode_block(data):
    texts = []
    at = 0
    for _ in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        texts.append(data[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return texts


def check_strings(checks, program):
    table = {}
    for block in STRING_BLOCKS:
        for i, text in enumerate(decode_block(extract(program, 6, block))):
            if text:
                table[(block - 1) * 16 + i] = text
    for sid, text in TEXTS.items():
        checks.equal(table.get(sid), text, f"string {sid}")
    checks.equal(len(table.get(225, "")), 65, "length of string 225")
    checks.equal(table.get(225, " ")[-1], "\u2026", "last unit of string 225")
    checks.equal(len(table.get(205, "")), 64, "length of string 205")
    for sid in EMPTY_IDS:
        checks.expect(sid not in table, f"string {sid} is empty")
    for sid in (240, 241, 244, 245):
        text = table.get(sid, "")
        checks.expect(any("\u3040" <= c <= "\u9fff" for c in text), f"string {sid} is Japanese: {text!r}")
        checks.equal(text.count("%"), 1 if sid in (244, 245) else 0, f"conversions in string {sid}")
    checks.equal(table.get(57664, "").count("\n"), 1, "lines of string 57664")
    checks.equal(sorted(table), sorted(list(TEXTS) + [57664, 240, 241, 244, 245]), "ids with texts")


def read_sz(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def check_dialog(checks, program):
    data = extract(program, 5, 129)
    version, signature, help_id, ex_style, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    checks.equal((version, signature, help_id, ex_style, style, count, x, y, cx, cy),
                 (1, 0xFFFF, 0, 0x80, 0x80C000C8, 4, 0, 0, 285, 54), "dialog header")
    at = 26
    checks.equal(data[at:at + 4], b"\0\0\0\0", "no menu, standard class")
    caption, at = read_sz(data, at + 4)
    checks.equal(caption, "<appname> Installer", "caption")
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    face, at = read_sz(data, at + 6)
    checks.equal((point, weight, italic, charset, face), (8, 0, 0, 0, "MS Shell Dlg"), "font")
    expected = [(0, 0, 0x48010001, 21, 37, 50, 14, 1, "button", "OK"),
                (0, 0, 0x40010000, 228, 36, 50, 14, 2, "button", "Cancel"),
                (0, 0, 0x50020000, 41, 23, 237, 8, 1000, "static",
                 "<appname> is installing your updates and will start in a few moments"),
                (0, 0, 0x50000002, 18, 22, 16, 16, 1015, "sysanimate32", "")]
    ordinals = {0x80: "button", 0x82: "static"}
    for n, item in enumerate(expected):
        at = (at + 3) & ~3
        fields = struct.unpack_from("<IIIhhhhI", data, at)
        at += 24
        if data[at:at + 2] == b"\xff\xff":
            cls = ordinals.get(struct.unpack_from("<H", data, at + 2)[0], "?")
            at += 4
        else:
            cls, at = read_sz(data, at)
        title, at = read_sz(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2
        checks.equal(fields + (cls.lower(), title), item, f"dialog control {n + 1}")
        checks.equal(extra, 0, f"creation data of control {n + 1}")


def check_accelerators(checks, program):
    data = extract(program, 9, 128)
    entries = [struct.unpack_from("<HHHH", data, 8 * i)[:3] for i in range(len(data) // 8)]
    checks.equal(entries, ACCELERATORS, "accelerator table")


def parse_version_node(data, at):
    """(key, value bytes, value type, children) of the VS_VERSIONINFO node at `at`."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    key, pos = read_sz(data, at + 6)
    pos = (pos + 3) & ~3
    size = value_length * 2 if value_type == 1 else value_length
    value = data[pos:pos + size]
    pos = (pos + size + 3) & ~3
    children = []
    while pos < at + length:
        child = parse_version_node(data, pos)
        children.append(child)
        pos = (pos + child[4] + 3) & ~3
    return key, value, value_type, children, length


def check_version(checks, program):
    data = extract(program, 16, 1)
    key, fixed, _, children, _ = parse_version_node(data, 0)
    checks.equal(key, "VS_VERSION_INFO", "version root")
    fields = struct.unpack_from("<13I", fixed, 0)
    checks.equal(fields[0], 0xFEEF04BD, "fixed information signature")
    checks.equal(fields[2:6], (0x00010000, 0x00120000, 0x00010000, 0x00120000), "file and product version")
    checks.equal(fields[6:11], (0x3F, 0, 4, 2, 0), "flags mask, flags, OS, type, subtype")
    strings = {}
    translation = None
    for ckey, _, _, grandchildren, _ in children:
        if ckey == "StringFileInfo":
            for table_key, _, _, values, _ in grandchildren:
                checks.equal(table_key, "040904b0", "string table key")
                for name, value, _, _, _ in values:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
        elif ckey == "VarFileInfo":
            for name, value, _, _, _ in grandchildren:
                if name == "Translation":
                    translation = struct.unpack("<HH", value)
    checks.equal(strings, {"FileDescription": "Corvella Installer", "FileVersion": "1, 0, 18, 0",
                           "InternalName": "Corvella", "ProductName": "Corvella",
                           "ProductVersion": "1, 0, 18, 0"}, "version strings")
    checks.equal(translation, (0x0409, 0x04B0), "translation")


def check_manifest(checks, program):
    data = extract(program, 24, 1)
    checks.equal(len(data), 640, "manifest length")
    root = ElementTree.fromstring(data)
    asm1, asm3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    level = root.find(f"{asm3}trustInfo/{asm3}security/{asm3}requestedPrivileges/{asm3}requestedExecutionLevel")
    checks.expect(level is not None, "manifest has a requested execution level")
    if level is not None:
        checks.equal(dict(level.attrib), {"level": "asInvoker", "uiAccess": "false"}, "execution level")
    identity = root.find(f"{asm1}dependency/{asm1}dependentAssembly/{asm1}assemblyIdentity")
    checks.expect(identity is not None, "manifest has a dependent assembly")
    if identity is not None:
        checks.equal(dict(identity.attrib), {
            "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
            "processorArchitecture": "x86", "publicKeyToken": "6595b64144ccf1df", "language": "*"},
            "common-controls dependency")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    for tool in ("wrestool", "icotool", "i686-w64-mingw32-objdump"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing (scripts/bootstrap.sh installs it)")
            return 2
    program = sys.argv[1]
    checks = Checks()
    listed, complete = check_directory(checks, program)
    if not complete:
        print(f"{checks.failures} resource checks failed in {program}; the rest need the missing resources")
        return 1
    check_animation(checks, program, listed)
    check_icon(checks, program)
    check_strings(checks, program)
    check_dialog(checks, program)
    check_accelerators(checks, program)
    check_version(checks, program)
    check_manifest(checks, program)
    if checks.failures:
        print(f"{checks.failures} resource checks failed in {program}")
        return 1
    print(f"all resources of {program} as expected ({len(listed)} resources)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
