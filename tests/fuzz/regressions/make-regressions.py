#!/usr/bin/env python3
"""Writes the fuzz targets' regression inputs into OUT/read, OUT/update and
OUT/roundtrip, one file per fault the targets caught, named after it. Each
is replayed by scripts/test-fuzz.sh through its target, whose checks fail
while the fault is there.

Usage: make-regressions.py OUT"""

import os
import shutil
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import zipbytes as zb  # noqa: E402


# ---------------- read target ----------------

def local_header_vs_directory_sizes():
    """20 members the directory declares empty; their local headers declare
    1 MiB each, all pointing (through their extra length) at one shared
    deflate stream: the reader must go by the directory."""
    count, name_len = 20, 7
    big = bytes(1 << 20)
    stream = zb.raw_deflate(big, 9)
    shared = count * (30 + name_len)
    out = bytearray()
    central = bytearray()
    for i in range(count):
        name = b"m%02d.txt" % i
        offset = len(out)
        extra_len = shared - (offset + 30 + name_len)
        out += struct.pack("<IHHHHHIIIHH", zb.LOCAL_SIG, 20, 0, 8, 0x7260, 0x5798, zb.crc(big), len(stream),
                           len(big), name_len, extra_len) + name
        central += zb.central_header(name, 8, 0, 0, 0, offset)
    out += stream
    cd = len(out)
    return bytes(out + central + zb.end_record(count, len(central), cd))


def directory_declares_more_than_data():
    """The directory declares 0xF0000000 bytes; the local header, the 110 the
    data holds: the member must not extract as a sound file of 110 bytes."""
    content = bytes(range(110))
    data = zb.raw_deflate(content)
    name = b"grand.bin"
    local = zb.local_header(name, 8, zb.crc(content), len(data), len(content)) + data
    central = zb.central_header(name, 8, zb.crc(content), len(data), 0xF0000000, 0)
    return local + central + zb.end_record(1, len(central), len(local))


def quoted_overlap():
    """Each member's deflate data quotes (in a stored block) the next
    member's local header, then continues with the next member's data: the
    members share their bytes."""
    n = 10
    kernel_out = b"a" * 100000
    kernel = zb.raw_deflate(kernel_out, 9)
    names = [b"q%02d" % i for i in range(n)]
    datas = [None] * n
    outs = [None] * n
    datas[-1], outs[-1] = kernel, kernel_out
    for i in range(n - 2, -1, -1):
        nxt = zb.local_header(names[i + 1], 8, zb.crc(outs[i + 1]), len(datas[i + 1]), len(outs[i + 1]))
        quote = b"\x00" + struct.pack("<HH", len(nxt), len(nxt) ^ 0xFFFF) + nxt
        datas[i] = quote + datas[i + 1]
        outs[i] = nxt + outs[i + 1]
    out = bytearray()
    offsets = []
    for i in range(n):
        offsets.append(len(out))
        header = zb.local_header(names[i], 8, zb.crc(outs[i]), len(datas[i]), len(outs[i]))
        if i == 0:
            out += header + datas[0]
        # later headers are inside the first member's data
    # offsets of the quoted headers inside member 0's data
    pos = 30 + len(names[0])
    for i in range(1, n):
        pos += 5
        offsets[i] = pos
        pos += 30 + len(names[i])
    central = bytearray()
    for i in range(n):
        central += zb.central_header(names[i], 8, zb.crc(outs[i]), len(datas[i]), len(outs[i]), offsets[i])
    cd = len(out)
    return bytes(out + central + zb.end_record(n, len(central), cd))


def many_end_records():
    """65,535 empty central headers and 60,000 end records after them, each
    declaring them with another size: finding the end record must stay
    bounded."""
    entries = 65535
    header = zb.central_header(b"", 0, 0, 0, 0, 0)
    directory = header * entries
    out = bytearray(directory)
    for j in range(60000):
        out += zb.end_record(entries, len(directory) + 22 * j, 0)
    return bytes(out)


def wrong_disk_number():
    """A sound archive whose end record says it is disk 1 of a set whose
    directory starts on disk 0: refused at opening, not at extraction."""
    a = zb.archive([zb.Member(b"a.txt", b"alpha" * 30), zb.Member(b"b.txt", b"beta")])
    end = a[-22:]
    return a[:-22] + end[:4] + struct.pack("<H", 1) + end[6:]


def failed_open_keeps_previous_listing():
    """Not an archive: opening it after another archive must forget that one."""
    return b"Ceci n'est pas une archive.\r\n" * 8


def planted_destrucfic_script():
    """Members named like the engine's deletion script, opened into the
    temporary folder."""
    script = b"#!/bin/sh\nrm -rf \"$HOME\"\n"
    return zb.archive([zb.Member(b"destrucFic.sh", script), zb.Member(b"sous\\destrucFic.sh", script)])


# ---------------- update target ----------------

def remove_beside_shared_bytes():
    """a.txt's local header declares data running over b.txt's header and
    data, its directory entry only the bytes before b.txt: removing b.txt
    must not destroy a.txt."""
    prefix = b"alpha" * 10
    b_content = b"bravo" * 20
    b_offset = 30 + len(b"a.txt") + len(prefix)
    b_local = zb.local_header(b"b.txt", 0, zb.crc(b_content), len(b_content), len(b_content)) + b_content
    a_full = prefix + b_local
    a_local = zb.local_header(b"a.txt", 0, zb.crc(a_full), len(a_full), len(a_full))
    body = a_local + a_full
    assert len(a_local) + len(prefix) == b_offset
    central = (zb.central_header(b"a.txt", 0, zb.crc(a_full), len(prefix), len(prefix), 0) +
               zb.central_header(b"b.txt", 0, zb.crc(b_content), len(b_content), len(b_content), b_offset))
    archive = body + central + zb.end_record(2, len(central), len(body))
    return zb.update_input(zb.REMOVE, 1, b"", archive)


def remove_last_member_empty_archive():
    """Removing the only member leaves an archive of no member (its end
    record at offset 0), which must still open."""
    return zb.update_input(zb.REMOVE, 0, b"", zb.archive([zb.Member(b"seul.txt", b"le seul membre")]))


def user_file_named_like_work_file():
    """A user's archive.zip~ beside the archive survives an add."""
    return zb.update_input(zb.ADD, 0, b"nouveau contenu\n", zb.archive([zb.Member(b"a.txt", b"alpha" * 20)]))


# The input the update target found: removing the member of an archive whose
# comment carries a spanned end record left an archive that did not open.
FOUND_BY_FUZZING_UPDATE_COMMENT = (
    "00000000504b030414000000080060729857d9fd68ef19000000680100000a001500728273756d822e74787475701100"
    "01c9ddcd1972c3a973756dc3a92e747874cbcb2f492d56484955283abcb2342f333f8f2b6f5484062200504b01021400"
    "140000000872d957006098fd68ef19000000680100000a00150000000000000020000000000000000000000000000000"
    "000000000000000000000000000000000000000000000000000000001100018ac9ddcd1972c3a973756dc3a92e747874"
    "504b050600000000010001004d000000560000000001011000636f6e74656e7520616a6f7574c3a90a504b0304140008"
    "000833ba0d246ac04c81b1baf23e3bf9eef5f79f2b4934af87f5520b69b94b0d982e85bb55b672a872637acd7466fcb6"
    "0e0e8ff18463b0e4b2ba29703474f064ac68f700f5902b3dc666f45b948100003d212f62696e2f73680a657869742031"
    "0a504b030414007a000800607298575d3948570a000000c800000005000000612e7478744bcc29c8484c1cfa0400504b"
    "010214001400000008009e7298575d3048570a000000ff79ffffff05000000000000000000000011ffffffffffff0100"
    "0041ffffff7fffffff00059fd18b5874504b05060000000001000400330000003e0000000000007fff235ad7303a7ddd"
    "df252849294a538672a15c29df941f851bb4ea901d0125ab11d1980000006a0475c04c81b1baf23e2bf9ee0008"
)


def comment_hides_end_record():
    """The comment ends with the end record of a spanned archive and bytes
    follow the comment: the archive opens by its real end record, but an
    update that keeps the comment and drops the trailing bytes would make the
    stray record end the file, and the result would not open."""
    stray = zb.end_record(4, 0x33, 0x3E, entries_here=1)
    archive = zb.archive([zb.Member(b"seul.txt", b"le seul membre")], comment=b"Sauvegarde " + stray)
    return zb.update_input(zb.REMOVE, 0, b"", archive + b"octets apres le commentaire")


# ---------------- round-trip target ----------------

LOCATOR_LIKE = b"PK\x06\x07" + b"\x01" * 16


def roundtrip_regressions():
    u = lambda s: s.encode("utf-8")  # noqa: E731
    return {
        "name-not-utf8": zb.roundtrip_input([(b"bad\xff.txt", b"octet invalide")]),
        "duplicate-after-name-decoding": zb.roundtrip_input([(b"caf\xe9.txt", b"ansi"), (u("caf\u00e9.txt"), b"utf-8")]),
        "control-character-name": zb.roundtrip_input([(b"a\x14b.txt", b"controle")]),
        "pilcrow-section-names": zb.roundtrip_input([(u("\u00b6 \u00a7 3.txt"), b"pied de mouche")], True),
        "oem-name-without-unicode-path": zb.roundtrip_input([(u("notes \u00e9t\u00e9.txt"), b"vacances")]),
        # A name that is not UTF-8 grows once read as UTF-8 (Windows-1252 for
        # its invalid bytes): 204 bytes on disk, 348 as a member name, over the
        # 255 bytes a name may have: accepted, it could never be extracted.
        "name-too-long-once-utf8": zb.roundtrip_input([(b"n" * 60 + b"\xf0" * 140 + b".txt", b"long")]),
        "empty-archive-list": zb.roundtrip_input([]),
        "empty-archive-streaming": zb.roundtrip_input([], True),
        # The last name's bytes end with a Zip64 locator's signature and 16
        # bytes, just before the end record: no Zip64 record is behind it.
        "name-ends-like-zip64-locator": zb.roundtrip_input([(b"a" + LOCATOR_LIKE, b"contenu")]),
        "name-ends-like-zip64-locator-streaming": zb.roundtrip_input([(b"a" + LOCATOR_LIKE, b"contenu")], True),
        # The same once its Windows-1252 bytes are read as UTF-8 (the fuzzer's input).
        "name-ends-like-zip64-locator-found-by-fuzzing": bytes.fromhex("6996504b06079191916e6e01806e"),
    }


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    made = {
        "read": {
            "local-header-vs-directory-sizes": local_header_vs_directory_sizes(),
            "directory-declares-more-than-data": directory_declares_more_than_data(),
            "quoted-overlap": quoted_overlap(),
            "many-end-records": many_end_records(),
            "wrong-disk-number": wrong_disk_number(),
            "failed-open-keeps-previous-listing": failed_open_keeps_previous_listing(),
            "planted-destrucfic-script": planted_destrucfic_script(),
        },
        "update": {
            "remove-beside-shared-bytes": remove_beside_shared_bytes(),
            "remove-last-member-empty-archive": remove_last_member_empty_archive(),
            "user-file-named-like-work-file": user_file_named_like_work_file(),
            "comment-hides-end-record": comment_hides_end_record(),
            "comment-hides-end-record-found-by-fuzzing": bytes.fromhex(FOUND_BY_FUZZING_UPDATE_COMMENT),
        },
        "roundtrip": roundtrip_regressions(),
    }
    for target, inputs in made.items():
        os.makedirs(os.path.join(out, target))
        for name, data in inputs.items():
            with open(os.path.join(out, target, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
