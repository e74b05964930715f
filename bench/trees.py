#!/usr/bin/env python3
"""Builds and alters the trees bench/run measures. Every tree comes from a fixed seed, so two
runs of the script measure the same bytes.

  trees.py many DIR FILES DIRECTORIES BYTES   a tree of many files of mixed sizes
  trees.py big DIR COUNT BYTES                COUNT files of BYTES each
  trees.py flat DIR COUNT                     COUNT empty files in one directory
  trees.py sparse DIR BYTES                   one file of BYTES with data at start, middle, end
  trees.py change SOURCE MIRROR PERCENT       make MIRROR differ from SOURCE (see change())
"""
import os
import random
import sys

# Source files carry fixed old times, so a file rewritten during a run always differs in time.
BASE_TIME = 1_700_000_000
POOL = random.Random(20240601).randbytes(1 << 20)


def chunk(rng, size):
    """size bytes of incompressible data, taken from the pool at a random place."""
    out = bytearray()
    while len(out) < size:
        piece = min(size - len(out), len(POOL))
        start = rng.randrange(0, len(POOL) - piece + 1)
        out += POOL[start:start + piece]
    return bytes(out)


def many(root, file_count, directory_count, total_bytes):
    # About the square root of the directory count at the top, the rest one level below them;
    # files spread evenly over all directories.
    rng = random.Random(1)
    top = max(1, min(directory_count, int(directory_count ** 0.5)))
    directories = [os.path.join(root, "top%03d" % i) for i in range(top)]
    for i in range(directory_count - top):
        directories.append(os.path.join(directories[i % top], "dir%05d" % i))
    for path in directories:
        os.makedirs(path, exist_ok=True)
    # Three in four below 4 KiB, about one in five up to 32 KiB, a few up to 512 KiB, some
    # empty; then scaled so that the tree holds total_bytes.
    sizes = []
    for _ in range(file_count):
        kind = rng.random()
        if kind < 0.03:
            sizes.append(0)
        elif kind < 0.75:
            sizes.append(rng.randint(1, 4096))
        elif kind < 0.97:
            sizes.append(rng.randint(4097, 32768))
        else:
            sizes.append(rng.randint(32769, 524288))
    scale = total_bytes / max(1, sum(sizes))
    sizes = [int(s * scale) for s in sizes]
    sizes[-1] += total_bytes - sum(sizes)
    for i, size in enumerate(sizes):
        name = "file%06d%s" % (i, rng.choice([".txt", ".dat", ".bin", ".log", ""]))
        path = os.path.join(directories[i % len(directories)], name)
        with open(path, "wb") as f:
            f.write(chunk(rng, size))
        os.utime(path, (BASE_TIME + i, BASE_TIME + i))


def big(root, count, size):
    rng = random.Random(2)
    os.makedirs(root, exist_ok=True)
    for i in range(count):
        path = os.path.join(root, "big%02d.bin" % i)
        with open(path, "wb") as f:
            left = size
            while left > 0:
                piece = chunk(rng, min(left, 8 << 20))
                f.write(piece)
                left -= len(piece)
        os.utime(path, (BASE_TIME + i, BASE_TIME + i))


def flat(root, count):
    os.makedirs(root, exist_ok=True)
    for i in range(count):
        os.close(os.open(os.path.join(root, "entry%07d" % i), os.O_WRONLY | os.O_CREAT, 0o644))


def sparse(root, size):
    rng = random.Random(3)
    os.makedirs(root, exist_ok=True)
    path = os.path.join(root, "sparse.img")
    block = 1 << 20
    with open(path, "wb") as f:
        f.truncate(size)
        for at in (0, (size // 2) & ~(block - 1), size - block):
            f.seek(at)
            f.write(chunk(rng, block))
    os.utime(path, (BASE_TIME, BASE_TIME))


def files_below(root):
    found = []
    for directory, subdirectories, names in os.walk(root):
        subdirectories.sort()
        found.extend(os.path.relpath(os.path.join(directory, n), root) for n in sorted(names))
    return found


def change(source, mirror, percent):
    """Alters MIRROR so that a resync does the work of a source in which PERCENT of the files
    were rewritten, PERCENT deleted and PERCENT added: that many mirror files get new contents
    (the resync copies them again), that many are removed (it adds them) and that many new
    files appear (it deletes them). The same files every time, so each timed run has the same
    work; the source is never touched."""
    rng = random.Random(4)
    names = files_below(source)
    count = max(1, len(names) * percent // 100)
    chosen = rng.sample(names, 2 * count)
    for name in chosen[:count]:
        path = os.path.join(mirror, name)
        size = os.path.getsize(path) if os.path.exists(path) else 0
        with open(path, "wb") as f:
            f.write(chunk(rng, max(1, size)))
    for name in chosen[count:]:
        path = os.path.join(mirror, name)
        if os.path.exists(path):
            os.remove(path)
    directories = sorted({os.path.dirname(n) for n in names})
    for i in range(count):
        path = os.path.join(mirror, rng.choice(directories), "added%06d.dat" % i)
        with open(path, "wb") as f:
            f.write(chunk(rng, 4096))


def main(argv):
    command, args = argv[1], argv[2:]
    if command == "many":
        many(args[0], int(args[1]), int(args[2]), int(args[3]))
    elif command == "big":
        big(args[0], int(args[1]), int(args[2]))
    elif command == "flat":
        flat(args[0], int(args[1]))
    elif command == "sparse":
        sparse(args[0], int(args[1]))
    elif command == "change":
        change(args[0], args[1], int(args[2]))
    else:
        sys.exit("trees.py: unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
