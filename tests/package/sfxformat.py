"""The package format in Python: a builder that can also build it wrong, and a
reference reader written from the format alone (marker search in 512-byte windows
stepping back 502, records read backwards, the limits, the name rules and the
inflate checks). Used by the hostile-corpus generator, the fuzz seeds and the
test that reads sfxpack's output with a reader that is not ours."""

import struct
import zlib

MARKER = b"!NORBASFX!"
VERSION = b"2.00"
WINDOW = 512
STEP = WINDOW - len(MARKER)
MAX_ENTRIES = 256
MAX_NAME = 255
MAX_LENGTH = 0x7FFFFFFF

OK, BAD_PACKAGE, NO_ENTRIES = 1002, 1001, 1004


class Entry:
    """One entry; every field can be set to a lie."""

    def __init__(self, name, data=b"", stream=None, size=None, compressed_size=None,
                 offset=None, name_length=None, raw_name=None):
        self.name = name
        self.data = data
        self.stream = zlib.compress(data, 6) if stream is None else stream
        self.size = len(data) if size is None else size
        self.compressed_size = len(self.stream) if compressed_size is None else compressed_size
        self.offset = offset
        self.raw_name = name.encode("utf-16-le") if raw_name is None else raw_name
        self.name_length = len(self.raw_name) // 2 if name_length is None else name_length


def record(offset, size, compressed_size, raw_name, name_length):
    return (struct.pack("<III", offset & 0xFFFFFFFF, size & 0xFFFFFFFF, compressed_size & 0xFFFFFFFF)
            + raw_name + struct.pack("<i", name_length))


def trailer(count, version=VERSION):
    return struct.pack("<i", count) + version + MARKER


def build(entries, prefix=b"", suffix=b"", count=None, version=VERSION):
    """prefix + streams + records + trailer + suffix. Entries without an offset get
    the position of their stream."""
    out = bytearray(prefix)
    for e in entries:
        position = len(out)
        out += e.stream
        if e.offset is None:
            e.offset = position
    for e in entries:
        out += record(e.offset, e.size, e.compressed_size, e.raw_name, e.name_length)
    out += trailer(len(entries) if count is None else count, version)
    out += suffix
    return bytes(out)


def valid_name(name):
    if not name or len(name) > MAX_NAME:
        return False
    if any(c in name for c in "\\/:\0"):
        return False
    return name[-1] not in ". "


class Toc:
    def __init__(self, code, entries=(), marker_distance=0, windows=0):
        self.code = code
        self.entries = list(entries)
        self.marker_distance = marker_distance
        self.windows = windows


def read_toc(data):
    """Returns a Toc: code 1002 with (name, offset, size, compressed_size) tuples,
    or 1001 / 1004."""
    end = len(data)

    def at(distance, count):
        if distance > MAX_LENGTH or distance > end:
            raise EOFError
        chunk = data[end - distance:end - distance + count]
        if len(chunk) != count:
            raise EOFError
        return chunk

    w, windows, d = WINDOW, 0, 0
    try:
        while w <= MAX_LENGTH:
            windows += 1
            i = at(w, WINDOW).find(MARKER)
            if i >= 0:
                d = w - i
                break
            w += STEP
        if d == 0:
            return Toc(BAD_PACKAGE, windows=windows)
        if at(d, 10) != MARKER or at(d + 4, 4) != VERSION:
            return Toc(BAD_PACKAGE, marker_distance=d, windows=windows)
        (count,) = struct.unpack("<i", at(d + 8, 4))
        if count == 0:
            return Toc(NO_ENTRIES, marker_distance=d, windows=windows)
        if count < 0 or count > MAX_ENTRIES:
            return Toc(BAD_PACKAGE, marker_distance=d, windows=windows)
        entries = [None] * count
        p = d + 8
        for n in range(count - 1, -1, -1):
            p += 4
            (name_length,) = struct.unpack("<i", at(p, 4))
            if name_length < 0 or name_length > MAX_NAME:
                return Toc(BAD_PACKAGE, marker_distance=d, windows=windows)
            p += 2 * name_length
            raw = at(p, 2 * name_length) if name_length else b""
            name = raw.decode("utf-16-le", errors="surrogatepass").split("\0")[0]
            (compressed_size,) = struct.unpack("<I", at(p + 4, 4))
            (size,) = struct.unpack("<I", at(p + 8, 4))
            p += 12
            (offset,) = struct.unpack("<I", at(p, 4))
            entries[n] = (name, offset, size, compressed_size)
        return Toc(OK, entries, d, windows)
    except EOFError:
        return Toc(BAD_PACKAGE, marker_distance=d, windows=windows)


def inflate_entry(data, entry):
    """The entry's data, or None when extraction must refuse it: a bad name or
    offset, a stream that does not end, a wrong checksum, a length other than size."""
    name, offset, size, _ = entry
    if not valid_name(name) or offset > MAX_LENGTH:
        return None
    stream = zlib.decompressobj()
    out = bytearray()
    position = offset
    while position < len(data):
        try:
            out += stream.decompress(data[position:position + 4096], size + 1 - len(out))
        except zlib.error:
            return None
        if len(out) > size:
            return None
        position += 4096
        if stream.eof:
            break
        # Input held back because the output limit was reached: feed it again.
        while stream.unconsumed_tail and not stream.eof:
            try:
                out += stream.decompress(stream.unconsumed_tail, size + 1 - len(out))
            except zlib.error:
                return None
            if len(out) > size:
                return None
        if stream.eof:
            break
    if not stream.eof or len(out) != size:
        return None
    return bytes(out)
