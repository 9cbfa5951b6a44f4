#!/usr/bin/env python3
"""Creates the benchmark tree once, deterministically: FILES sparse files in
FOLDERS folders (the root not counted), at most DEPTH levels deep.

    bench/make_tree.py DIR [--files N] [--folders N] [--depth N]

Sizes are set with truncate, so the tree takes inodes but almost no blocks.
A file DIR.complete beside the tree records the parameters; a second call
with the same parameters does nothing."""
import argparse
import os
import random
import shutil
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dir")
    parser.add_argument("--files", type=int, default=1_000_000)
    parser.add_argument("--folders", type=int, default=50_000)
    parser.add_argument("--depth", type=int, default=8)
    parser.add_argument("--seed", type=int, default=20261207)
    args = parser.parse_args()

    root = os.path.abspath(args.dir)
    marker = root.rstrip("/") + ".complete"
    stamp = f"files={args.files} folders={args.folders} depth={args.depth} seed={args.seed}\n"
    if os.path.exists(marker) and open(marker).read() == stamp:
        print(f"{root}: already there ({stamp.strip()})")
        return 0
    if os.path.exists(root):
        shutil.rmtree(root)
    if os.path.exists(marker):
        os.remove(marker)

    rng = random.Random(args.seed)
    syllables = ["ka", "Ro", "mi", "TE", "su", "no", "ha", "Ni", "to", "ya", "re", "Wa"]
    suffixes = ["txt", "jpg", "PNG", "mp3", "docx", "xml", "dat", "", "tar.gz", "c", "h", "json"]

    def name(index):
        parts = [rng.choice(syllables) for _ in range(rng.randint(1, 4))]
        return "".join(parts) + f"_{index}"

    # Folders: each hangs below an earlier one that is not yet at full depth.
    paths = [root]
    depths = [0]
    os.makedirs(root)
    open_parents = [0]
    for i in range(1, args.folders + 1):
        parent = open_parents[rng.randrange(len(open_parents))]
        path = os.path.join(paths[parent], name(i))
        os.mkdir(path)
        paths.append(path)
        depths.append(depths[parent] + 1)
        if depths[-1] < args.depth:
            open_parents.append(i)

    # Files: spread over every folder, sizes from a skewed distribution.
    for j in range(args.files):
        folder = paths[rng.randrange(len(paths))]
        suffix = rng.choice(suffixes)
        file_name = name(j) + ("." + suffix if suffix else "")
        size = int(rng.paretovariate(1.2) * 2000) if rng.random() < 0.97 else 0
        fd = os.open(os.path.join(folder, file_name), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        if size:
            os.ftruncate(fd, min(size, 1 << 34))
        os.close(fd)
        if j and j % 100_000 == 0:
            print(f"  {j} files", file=sys.stderr)

    with open(marker, "w") as out:
        out.write(stamp)
    print(f"{root}: {args.files} files in {args.folders} folders")
    return 0


if __name__ == "__main__":
    sys.exit(main())
