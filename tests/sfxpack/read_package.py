#!/usr/bin/env python3
"""A reader that is not ours: decodes a package file written by sfxpack with the
standard library alone (struct for the trailer and records, zlib for the streams)
and checks it against the files that went in.

    read_package.py PACKAGE [STUB] -- FILE...

sfxpack writes nothing after the trailer, so the trailer is the last 18 bytes.
Exits 0 when every entry is there, in order, with its name, size and data."""

import os
import struct
import sys
import zlib


def slurp(path):
    with open(path, "rb") as f:
        return f.read()


def read(path):
    data = slurp(path)
    count, version, marker = struct.unpack("<i4s10s", data[-18:])
    assert marker == b"!NORBASFX!", marker
    assert version == b"2.00", version
    assert 1 <= count <= 256, count
    entries = []
    end = len(data) - 18
    for _ in range(count):
        (name_length,) = struct.unpack("<i", data[end - 4:end])
        name = data[end - 4 - 2 * name_length:end - 4].decode("utf-16-le")
        end -= 4 + 2 * name_length
        offset, size, compressed_size = struct.unpack("<III", data[end - 12:end])
        end -= 12
        entries.append((name, offset, size, compressed_size))
    entries.reverse()
    return data, entries, end


def main():
    args = sys.argv[1:]
    split = args.index("--")
    package, stub, files = args[0], (args[1] if split == 2 else None), args[split + 1:]
    data, entries, table_start = read(package)
    assert len(entries) == len(files), (len(entries), len(files))
    expected_offset = os.path.getsize(stub) if stub else 0
    if stub:
        assert data[:expected_offset] == slurp(stub), "stub bytes changed"
    for (name, offset, size, compressed_size), path in zip(entries, files):
        content = slurp(path)
        assert name == os.path.basename(path), (name, path)
        assert offset == expected_offset, (name, offset, expected_offset)
        assert size == len(content), (name, size, len(content))
        stream = data[offset:offset + compressed_size]
        assert stream[:2] == b"\x78\x9c", stream[:2]
        inflater = zlib.decompressobj()
        assert inflater.decompress(stream) == content, name
        assert inflater.eof and not inflater.unused_data, name
        expected_offset = offset + compressed_size
    assert expected_offset == table_start, "gap or overlap before the table"
    print(f"{package}: {len(entries)} entries read back with Python's zlib")


if __name__ == "__main__":
    main()
