#!/usr/bin/env python3
"""Packs one folder into a reproducible .zip or .tar.gz: entries in sorted
order, every time stamp the given one (SOURCE_DATE_EPOCH: the commit's),
owner root, modes 755 for folders and programs and 644 for the rest, no
gzip name or time.

    archive.py ARCHIVE FOLDER EPOCH

The archive holds FOLDER's last name as its one top folder.
"""
import gzip
import io
import os
import stat
import sys
import tarfile
import time
import zipfile


def entries(folder):
    """(path inside the archive, path on disk, is_dir), top folder first."""
    top = os.path.basename(os.path.normpath(folder))
    found = [(top + "/", folder, True)]
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        inner = os.path.relpath(root, os.path.dirname(os.path.normpath(folder)))
        for name in dirs:
            found.append(("%s/%s/" % (inner, name), os.path.join(root, name), True))
        for name in sorted(files):
            found.append(("%s/%s" % (inner, name), os.path.join(root, name), False))
    return [found[0]] + sorted(found[1:])


def mode_of(path, is_dir):
    if is_dir or os.stat(path).st_mode & stat.S_IXUSR:
        return 0o755
    return 0o644


def write_zip(archive, folder, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times begin in 1980
    with zipfile.ZipFile(archive, "w") as z:
        for name, path, is_dir in entries(folder):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3
            info.external_attr = (stat.S_IFDIR if is_dir else stat.S_IFREG) << 16 \
                | mode_of(path, is_dir) << 16 | (0x10 if is_dir else 0)
            if is_dir:
                z.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, "rb") as f:
                    z.writestr(info, f.read())


def write_tgz(archive, folder, epoch):
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w", format=tarfile.PAX_FORMAT) as t:
        for name, path, is_dir in entries(folder):
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime = epoch
            info.mode = mode_of(path, is_dir)
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if is_dir:
                info.type = tarfile.DIRTYPE
                t.addfile(info)
            else:
                info.size = os.path.getsize(path)
                with open(path, "rb") as f:
                    t.addfile(info, f)
    with open(archive, "wb") as out:
        with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=epoch) as gz:
            gz.write(data.getvalue())


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    archive, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if archive.endswith(".zip"):
        write_zip(archive, folder, epoch)
    elif archive.endswith(".tar.gz"):
        write_tgz(archive, folder, epoch)
    else:
        sys.exit("archive.py: %s is neither .zip nor .tar.gz" % archive)


if __name__ == "__main__":
    main()
