#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into OUT/read, OUT/update and
OUT/roundtrip: archives of one small tree made by Info-ZIP zip, Python's
zipfile, bsdtar and 7z (deflated, stored, encrypted, with comments, data
descriptors, Zip64 fields, other methods), a few written field by field
(OEM names with a Unicode Path field, an empty archive), the same archives
wrapped as update operations, and sets of files for the round trip.

Usage: make-seeds.py OUT"""

import io
import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zipbytes as zb  # noqa: E402


def make_tree(root):
    rnd = random.Random(7)
    os.makedirs(os.path.join(root, "docs", "2023"))
    os.makedirs(os.path.join(root, "vide"))
    files = {
        "docs/2023/note.txt": "".join("ligne %d de texte\r\n" % i for i in range(60)).encode(),
        "docs/caf\u00e9.txt": "caf\u00e9 cr\u00e8me".encode(),
        "docs/binaire.bin": bytes(rnd.randrange(256) for _ in range(300)),
        "zero.txt": b"",
        "racine.txt": "\u00e0 la racine".encode(),
    }
    for rel, data in files.items():
        with open(os.path.join(root, rel), "wb") as f:
            f.write(data)
    return files


def run(args, cwd, stdin=None):
    tool = args[0]
    if shutil.which(tool) is None:
        sys.exit("make-seeds: %s is missing (scripts/install-deps.sh installs it)" % tool)
    subprocess.run(args, cwd=cwd, check=True, input=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors."""

    def __init__(self):
        self.buf = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.buf += b
        return len(b)


def python_archives(files):
    out = {}

    def build(compression, comment=b"", stream=False, zip64=False):
        target = Unseekable() if stream else io.BytesIO()
        with zipfile.ZipFile(target, "w", compression) as z:
            z.comment = comment
            for rel, data in files.items():
                if zip64:
                    with z.open(rel, "w", force_zip64=True) as f:
                        f.write(data)
                else:
                    z.writestr(rel, data)
            z.writestr("vide/", b"")
        return bytes(target.buf) if stream else target.getvalue()

    out["python-deflate.zip"] = build(zipfile.ZIP_DEFLATED, b"sauvegarde du 24/12/2023")
    out["python-stored.zip"] = build(zipfile.ZIP_STORED)
    out["python-descriptors.zip"] = build(zipfile.ZIP_DEFLATED, stream=True)
    out["python-zip64.zip"] = build(zipfile.ZIP_DEFLATED, zip64=True)
    out["python-bzip2.zip"] = build(zipfile.ZIP_BZIP2)
    return out


def tool_archives(tree, scratch):
    made = {}

    def take(name):
        path = os.path.join(scratch, name)
        with open(path, "rb") as f:
            made[name] = f.read()
        os.remove(path)

    run(["zip", "-q", "-r", os.path.join(scratch, "zip-deflate.zip"), "."], tree)
    take("zip-deflate.zip")
    run(["zip", "-q", "-r", "-0", os.path.join(scratch, "zip-stored.zip"), "."], tree)
    take("zip-stored.zip")
    run(["zip", "-q", "-r", "-z", os.path.join(scratch, "zip-comment.zip"), "docs"], tree,
        stdin=b"commentaire de l'archive\n.\n")
    take("zip-comment.zip")
    run(["zip", "-q", "-r", "-P", "secret", os.path.join(scratch, "zip-encrypted.zip"), "docs"], tree)
    take("zip-encrypted.zip")
    # Forced Zip64: Zip64 fields in both headers, the Zip64 end record and locator.
    run(["zip", "-q", "-r", "-fz", os.path.join(scratch, "zip-zip64.zip"), "docs", "racine.txt"], tree)
    take("zip-zip64.zip")
    run(["bsdtar", "--format", "zip", "-cf", os.path.join(scratch, "bsdtar-deflate.zip"), "."], tree)
    take("bsdtar-deflate.zip")
    run(["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf",
         os.path.join(scratch, "bsdtar-stored.zip"), "."], tree)
    take("bsdtar-stored.zip")
    run(["7z", "a", "-tzip", "-bd", os.path.join(scratch, "7z-deflate.zip"), "docs", "zero.txt", "racine.txt",
         "vide"], tree)
    take("7z-deflate.zip")
    run(["7z", "a", "-tzip", "-bd", "-mx=0", os.path.join(scratch, "7z-stored.zip"), "docs"], tree)
    take("7z-stored.zip")
    run(["7z", "a", "-tzip", "-bd", "-mm=Deflate64", os.path.join(scratch, "7z-deflate64.zip"), "docs"], tree)
    take("7z-deflate64.zip")
    return made


def crafted_archives():
    # "r\u00e9sum\u00e9.txt" through the OEM table (\u00e9 = 130), with a
    # Unicode Path field holding its UTF-8 name.
    oem = b"r\x82sum\x82.txt"
    utf8 = "r\u00e9sum\u00e9.txt".encode()
    field = bytes([1]) + zb.crc(oem).to_bytes(4, "little") + utf8
    extra = (0x7075).to_bytes(2, "little") + len(field).to_bytes(2, "little") + field
    content = b"notes de r\xc3\xa9union\n" * 20
    data = zb.raw_deflate(content)
    local = zb.local_header(oem, 8, zb.crc(content), len(data), len(content), extra=extra) + data
    central = zb.central_header(oem, 8, zb.crc(content), len(data), len(content), 0, extra=extra)
    unicode_path = local + central + zb.end_record(1, len(central), len(local))
    return {
        "crafted-unicode-path.zip": unicode_path,
        "crafted-empty.zip": zb.end_record(0, 0, 0),
        "crafted-sfx-prefix.zip": zb.archive([zb.Member(b"a.txt", b"alpha" * 40)], prefix=b"#!/bin/sh\nexit 0\n"),
        "crafted-folders.zip": zb.archive([zb.Member(b"dossier\\", b"", 0),
                                           zb.Member(b"dossier\\sous\\b.txt", b"beta", 0)]),
        # Archives of other writers: a stub the offsets leave out, a classic
        # end record of Zip64 markers, a folder marked by its MS-DOS
        # attribute only, a placeholder local name, a modification time in
        # an extended timestamp field.
        "crafted-stub-unadjusted.zip": zb.archive([zb.Member(b"a.txt", b"alpha" * 40)],
                                                  prefix=b"MZ" + b"\x90" * 300, adjusted=False),
        "crafted-zip64-marker-end.zip": zb.with_zip64_end(zb.archive([zb.Member(b"a.txt", b"alpha" * 40)])),
        "crafted-dos-folder.zip": zb.archive([zb.Member(b"dossier", b"", 0, external=0x10),
                                              zb.Member(b"dossier/b.txt", b"beta", 0)]),
        "crafted-local-placeholder.zip": zb.archive([zb.Member(b"vrai-nom.txt", b"gamma" * 30, local_name=b"-")]),
        "crafted-extended-time.zip": zb.archive([zb.Member(b"date.txt", b"delta" * 30,
                                                           extra=b"\x55\x54\x05\x00\x01" +
                                                           (1600000000).to_bytes(4, "little"))]),
    }


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    folders = {k: os.path.join(out, k) for k in ("read", "update", "roundtrip")}
    for f in folders.values():
        shutil.rmtree(f, ignore_errors=True)
        os.makedirs(f)

    with tempfile.TemporaryDirectory() as scratch:
        tree = os.path.join(scratch, "arbre")
        files = make_tree(tree)
        archives = {}
        archives.update(tool_archives(tree, scratch))
        archives.update(python_archives(files))
        archives.update(crafted_archives())

    for name, data in sorted(archives.items()):
        write(folders["read"], name, data)
        base = name[:-4]
        write(folders["update"], base + "-remove-first", zb.update_input(zb.REMOVE, 0, b"", data))
        write(folders["update"], base + "-remove-other", zb.update_input(zb.REMOVE, 0x81, b"", data))
        write(folders["update"], base + "-add", zb.update_input(zb.ADD, 1, b"contenu ajout\xc3\xa9\n", data))
        write(folders["update"], base + "-replace",
              zb.update_input(zb.ADD_REPLACING, 0x80, b"remplac\xc3\xa9\n" * 30, data))

    rnd = random.Random(11)
    noise = bytes(rnd.randrange(256) for _ in range(2000))
    text = b"".join(b"ligne %d\r\n" % i for i in range(300))
    sets = {
        "ascii-list": ([(b"a.txt", b"alpha"), (b"b.txt", text)], False, -1),
        "ascii-stream": ([(b"a.txt", b"alpha"), (b"vide.txt", b"")], True, 6),
        "accents": ([("caf\u00e9.txt".encode(), b"caf\xc3\xa9"), ("\u00c0 faire.txt".encode(), b"liste"),
                     ("na\u00efve \u2013 \u20ac.txt".encode(), noise[:300])], False, 9),
        "stored-level": ([(b"bruit.bin", noise), (b"texte.txt", text)], True, 0),
        "punctuation": ([(b"a b.txt", b"espace"), (b"x:y.txt", b"deux-points"), (b"[1] (2).txt", b"crochets"),
                         (b".cache", b"point")], False, 1),
        "long-name": ([(b"n" * 200 + b".txt", b"long")], False, -1),
    }
    for name, (files_, streaming, level) in sets.items():
        write(folders["roundtrip"], name, zb.roundtrip_input(files_, streaming, level))
    folders_ = [(b"docs/2023/note.txt", text), ("docs/caf\u00e9/cr\u00e8me.txt".encode(), b"creme"),
                (b"racine.txt", b"racine"), (b"vide/zero.txt", b"")]
    write(folders["roundtrip"], "paths-list", zb.roundtrip_input(folders_, False, 6, paths=True))
    write(folders["roundtrip"], "paths-stream", zb.roundtrip_input(folders_, True, -1, paths=True))


if __name__ == "__main__":
    main()
