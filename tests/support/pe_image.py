"""A 32-bit PE image read as Windows' loader reads it: its headers, sections and import
table, from the bytes and the published layout alone. The checks of the stub use this
rather than the text of binutils' objdump, which changes between binutils versions.

    from pe_image import PeImage, PeError
    image = PeImage.read("sfxstub.exe")
    image.machine, image.subsystem, image.dll_characteristics, image.imports
"""
import struct

I386 = 0x14C
PE32 = 0x10B
IMPORT_DIRECTORY = 1


class PeError(ValueError):
    """The bytes are not a PE image this reader understands, with the reason."""


class PeImage:
    """The fields the checks read, each named as in the PE format."""

    def __init__(self, data):
        self.data = data
        pe = self._unpack("<I", 0x3C, "DOS header")[0] if data[:2] == b"MZ" else None
        if pe is None or data[pe:pe + 4] != b"PE\0\0":
            raise PeError("not a PE image (no MZ and PE signatures)")
        (self.machine, count, self.time_date_stamp, _, self.number_of_symbols, optional_size,
         self.characteristics) = self._unpack("<HHIIIHH", pe + 4, "file header")
        optional = pe + 24
        magic = self._unpack("<H", optional, "optional header")[0]
        if magic != PE32:
            raise PeError(f"optional header magic {magic:#x}, not PE32 ({PE32:#x})")
        self.size_of_headers, self.checksum_offset = self._unpack("<I", optional + 60, "optional header")[0], optional + 64
        self.checksum, self.subsystem, self.dll_characteristics = self._unpack("<IHH", optional + 64, "optional header")
        directories = self._unpack("<I", optional + 92, "optional header")[0]
        self.directories = [self._unpack("<II", optional + 96 + 8 * i, "data directories") for i in range(directories)]
        table = optional + optional_size
        self.sections = []
        for i in range(count):
            name, virtual_size, address, raw_size, raw_pointer = self._unpack("<8sIIII", table + 40 * i, "section table")
            self.sections.append((name.rstrip(b"\0").decode(errors="replace"), address, virtual_size, raw_pointer,
                                  raw_size))
        self.imports = self._read_imports()

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    def section_sizes(self):
        """[(name, size in the file)] in the order of the section table."""
        return [(name, raw_size) for name, _, _, _, raw_size in self.sections]

    def computed_checksum(self):
        """The image checksum over the file: 16-bit words with end-around carry, the field
        itself as zero, plus the file's length."""
        at, data = self.checksum_offset, self.data
        zeroed = data[:at] + b"\0\0\0\0" + data[at + 4:] + b"\0" * (len(data) % 2)
        total = 0
        for (word,) in struct.iter_unpack("<H", zeroed):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        return total + len(data)

    def _unpack(self, layout, offset, what):
        if offset < 0 or offset + struct.calcsize(layout) > len(self.data):
            raise PeError(f"the {what} runs past the end of the file")
        return struct.unpack_from(layout, self.data, offset)

    def _offset(self, rva, what):
        """The file offset of a relative virtual address, inside one section's bytes."""
        for _, address, virtual_size, raw_pointer, raw_size in self.sections:
            if address <= rva < address + max(virtual_size, raw_size) and rva - address < raw_size:
                return raw_pointer + rva - address
        raise PeError(f"the {what} at RVA {rva:#x} is in no section")

    def _string(self, rva, what):
        at = self._offset(rva, what)
        end = self.data.find(b"\0", at)
        if end < 0:
            raise PeError(f"the {what} at RVA {rva:#x} does not end")
        return self.data[at:end].decode("ascii", errors="replace")

    def _read_imports(self):
        """{DLL name as written: [function names, or '#ordinal']} from the import directory."""
        if len(self.directories) <= IMPORT_DIRECTORY or not self.directories[IMPORT_DIRECTORY][0]:
            return {}
        imports = {}
        at = self._offset(self.directories[IMPORT_DIRECTORY][0], "import directory")
        while True:
            lookup, _, _, name, first_thunk = self._unpack("<IIIII", at, "import directory")
            if not (lookup or name or first_thunk):
                return imports
            functions = imports.setdefault(self._string(name, "import's DLL name"), [])
            thunk = self._offset(lookup or first_thunk, "import lookup table")
            while True:
                (entry,) = self._unpack("<I", thunk, "import lookup table")
                if not entry:
                    break
                functions.append(f"#{entry & 0xFFFF}" if entry & 0x80000000 else
                                 self._string(entry + 2, "imported function's name"))
                thunk += 4
            at += 20
