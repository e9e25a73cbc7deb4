"""Archive records written field by field, so that any field can be made
wrong, and the input layouts of the update and round-trip fuzz targets.
Used by make-seeds.py and regressions/make-regressions.py."""

import struct
import zlib

LOCAL_SIG = 0x04034B50
CENTRAL_SIG = 0x02014B50
END_SIG = 0x06054B50
DESCRIPTOR_SIG = 0x08074B50


def raw_deflate(data, level=6):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def crc(data):
    return zlib.crc32(data) & 0xFFFFFFFF


def local_header(name, method, crc32, csize, usize, flags=0, extra=b"", version=20,
                 dos_time=0x7260, dos_date=0x5798):
    return struct.pack("<IHHHHHIIIHH", LOCAL_SIG, version, flags, method, dos_time, dos_date,
                       crc32, csize, usize, len(name), len(extra)) + name + extra


def central_header(name, method, crc32, csize, usize, offset, flags=0, extra=b"", comment=b"",
                   made_by=20, version=20, internal=0, external=0x20, disk=0,
                   dos_time=0x7260, dos_date=0x5798, name_length=None):
    return struct.pack("<IHHHHHHIIIHHHHHII", CENTRAL_SIG, made_by, version, flags, method, dos_time,
                       dos_date, crc32, csize, usize,
                       len(name) if name_length is None else name_length, len(extra), len(comment),
                       disk, internal, external, offset) + name + extra + comment


def end_record(entries, cd_size, cd_offset, comment=b"", this_disk=0, cd_disk=0,
               entries_here=None):
    return struct.pack("<IHHHHIIH", END_SIG, this_disk, cd_disk,
                       entries if entries_here is None else entries_here, entries,
                       cd_size, cd_offset, len(comment)) + comment


class Member:
    """One member written soundly unless told otherwise."""

    def __init__(self, name, content, method=8, level=6, local_name=None, extra=b"", external=0x20):
        self.name = name
        self.content = content
        self.method = method
        self.data = raw_deflate(content, level) if method == 8 else content
        self.local_name = name if local_name is None else local_name  # what the local header says
        self.extra = extra                                            # both headers' extra field
        self.external = external                                      # external attributes


def archive(members, comment=b"", prefix=b"", adjusted=True):
    """A sound archive of the members, local headers first; with adjusted
    False, the offsets leave the prefix out (bytes prepended afterwards)."""
    out = bytearray(prefix)
    base = 0 if adjusted else len(prefix)
    central = bytearray()
    for m in members:
        offset = len(out) - base
        c = crc(m.content)
        out += local_header(m.local_name, m.method, c, len(m.data), len(m.content), extra=m.extra) + m.data
        central += central_header(m.name, m.method, c, len(m.data), len(m.content), offset, extra=m.extra,
                                  external=m.external)
    cd_offset = len(out) - base
    out += central
    out += end_record(len(members), len(central), cd_offset, comment)
    return bytes(out)


def with_zip64_end(archive_bytes):
    """The classic end record (no comment) replaced by a Zip64 end record,
    its locator and a classic end record of markers only, disks included."""
    end = archive_bytes[-22:]
    _, _, _, _, entries, cd_size, cd_offset, _ = struct.unpack("<IHHHHIIH", end)
    out = bytearray(archive_bytes[:-22])
    zip64_at = len(out)
    out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, entries, entries, cd_size, cd_offset)
    out += struct.pack("<IIQI", 0x07064B50, 0, zip64_at, 1)
    out += struct.pack("<IHHHHIIH", END_SIG, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return bytes(out)


# ---- the update target: operation, name choice, added content, archive ----
REMOVE, ADD, ADD_REPLACING = 0, 1, 2


def update_input(operation, choice, content, archive_bytes):
    return bytes([operation, choice]) + struct.pack("<H", len(content)) + content + archive_bytes


# ---- the round-trip target: settings, then files (name, content) ----
def roundtrip_input(files, streaming=False, level=-1, paths=False):
    out = bytearray([(1 if streaming else 0) | (2 if paths else 0) | (((level + 1) % 11) << 2)])
    for name, content in files[:8]:
        out += bytes([len(name)]) + name + struct.pack("<H", len(content)) + content
    return bytes(out)
