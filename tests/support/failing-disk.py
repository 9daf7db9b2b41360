#!/usr/bin/env python3
# A failing disk for tests: a FUSE file system of one read-only file,
# disk.img, that serves the bytes of a backing file and fails every read
# that touches one of the given byte ranges with EIO. Reads are passed
# through one by one (direct_io), so a failure stays where it was put.
#
# Usage: failing-disk.py BACKING MOUNTPOINT START-END[,START-END...]
# Runs in the foreground until the mount point is unmounted.
import errno
import os
import stat
import sys

try:
    import fusepy as fuse  # Debian's python3-fusepy
except ImportError:
    import fuse


class FailingDisk(fuse.Operations):
    def __init__(self, backing, bad):
        self.fd = os.open(backing, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.bad = bad

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        if path == "/disk.img":
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": self.size}
        raise fuse.FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", "disk.img"]

    def open(self, path, flags):
        if path != "/disk.img":
            raise fuse.FuseOSError(errno.ENOENT)
        return 0

    def read(self, path, size, offset, fh):
        for start, end in self.bad:
            if offset < end and offset + size > start:
                raise fuse.FuseOSError(errno.EIO)
        return os.pread(self.fd, size, offset)


def main():
    backing, mountpoint, ranges = sys.argv[1:4]
    bad = [tuple(int(x) for x in part.split("-")) for part in ranges.split(",")]
    fuse.FUSE(FailingDisk(backing, bad), mountpoint, foreground=True, ro=True, direct_io=True)


if __name__ == "__main__":
    main()
