#!/usr/bin/env python3
"""Creates a chain of folders, each the only subfolder of the one above it,
with one small file at every level, once:

    bench/make_chain.py DIR [--levels N]

The path of the deepest folder is far longer than the system takes in one
call, so every folder is made relative to its open parent. A file
DIR.complete beside the chain records the parameters; a second call with the
same parameters does nothing."""
import argparse
import os
import shutil
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dir")
    parser.add_argument("--levels", type=int, default=20_000)
    args = parser.parse_args()

    root = os.path.abspath(args.dir)
    marker = root.rstrip("/") + ".complete"
    stamp = f"chain levels={args.levels}\n"
    if os.path.exists(marker) and open(marker).read() == stamp:
        print(f"{root}: already there ({stamp.strip()})")
        return 0
    remove_chain(root)
    if os.path.exists(marker):
        os.remove(marker)

    os.makedirs(root)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for level in range(args.levels):
        file = os.open("f", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
        os.ftruncate(file, level + 1)
        os.close(file)
        os.mkdir("d", dir_fd=fd)
        below = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = below
    os.close(fd)
    with open(marker, "w") as out:
        out.write(stamp)
    print(f"{root}: {args.levels} levels")
    return 0


def remove_chain(root):
    """Removes a chain too deep for shutil.rmtree, bottom up, relative to
    open folders."""
    if not os.path.exists(root):
        return
    fds = [os.open(root, os.O_RDONLY | os.O_DIRECTORY)]
    while True:
        try:
            fds.append(os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fds[-1]))
        except FileNotFoundError:
            break
        if len(fds) > 512:  # keep the descriptors bounded: restart below this level
            os.close(fds.pop(0))
    # Remove from the bottom; when the kept descriptors run out, start again.
    while fds:
        fd = fds.pop()
        for name in os.listdir(fd):
            if name != "d":
                os.unlink(name, dir_fd=fd)
        os.close(fd)
        if fds:
            os.rmdir("d", dir_fd=fds[-1])
    if os.path.exists(os.path.join(root, "d")):
        remove_chain(root)
    else:
        shutil.rmtree(root)


if __name__ == "__main__":
    sys.exit(main())
