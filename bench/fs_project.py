"""Generates a synthetic project for the file-system benchmarks.

    python bench/fs_project.py DIR [--scale 1.0]

Layout (scale 1): 100 cache directories with a 500-frame geometry sequence, 100 texture
directories with 10 UDIM sets of 10 tiles and 60 single textures, and 100 render directories
with a 300-frame image sequence; about half the textures have a .tx, a quarter a .rat, and some
only a "_linear" .tx. Prints the numbers and writes DIR/manifest.json with the patterns, textures
and files a scene would name.
"""

import argparse
import json
import os


def touch(path):
    with open(path, "wb"):
        pass


def generate(root, scale=1.0):
    dirs = max(1, int(100 * scale))
    manifest = {"patterns": [], "textures": [], "files": []}
    count = 0
    for d in range(dirs):
        cache = os.path.join(root, "geo", "shot%03d" % d)
        os.makedirs(cache, exist_ok=True)
        for f in range(1001, 1501):
            path = os.path.join(cache, "rock.%04d.bgeo.sc" % f)
            touch(path)
            manifest["files"].append(path)
            count += 1
        manifest["patterns"].append(os.path.join(cache, "rock.*[0-9].bgeo.sc"))

        tex = os.path.join(root, "tex", "asset%03d" % d)
        os.makedirs(tex, exist_ok=True)
        for s in range(10):
            for tile in range(1001, 1011):
                path = os.path.join(tex, "skin%d.%d.exr" % (s, tile))
                touch(path)
                manifest["textures"].append(path)
                manifest["files"].append(path)
                count += 1
                if tile % 2:
                    touch(os.path.join(tex, "skin%d.%d.tx" % (s, tile)))
                    count += 1
            manifest["patterns"].append(os.path.join(tex, "skin%d.*[0-9].exr" % s))
        for t in range(60):
            path = os.path.join(tex, "tex%02d.exr" % t)
            touch(path)
            manifest["textures"].append(path)
            manifest["files"].append(path)
            manifest["patterns"].append(path)
            count += 1
            if t % 2 == 0:
                touch(os.path.join(tex, "tex%02d.tx" % t))
                count += 1
            elif t % 5 == 1:
                touch(os.path.join(tex, "tex%02d_linear.exr.tx" % t))
                count += 1
            if t % 4 == 0:
                touch(path + ".rat")
                count += 1

        render = os.path.join(root, "render", "shot%03d" % d)
        os.makedirs(render, exist_ok=True)
        for f in range(1001, 1301):
            touch(os.path.join(render, "beauty.%04d.exr" % f))
            count += 1
        manifest["patterns"].append(os.path.join(render, "beauty.*[0-9].exr"))
        manifest["files"].append(render)  # a directory: uploaded whole
    with open(os.path.join(root, "manifest.json"), "w") as f:
        json.dump(manifest, f)
    return count, dirs * 3, manifest


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--scale", type=float, default=1.0)
    args = parser.parse_args()
    files, directories, manifest = generate(args.root, args.scale)
    print("%d files in %d directories; %d patterns, %d textures, %d upload items" % (
        files, directories, len(manifest["patterns"]), len(manifest["textures"]),
        len(manifest["files"])))
