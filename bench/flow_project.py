"""Generates a studio project for the whole-analysis benchmark, and its scene in both forms.

    python bench/flow_project.py DIR [--scale 1.0] [--show]

At scale 1 the project holds about 108,000 files in about 1,300 directories: texture sets with
UDIM tiles and their .tx and .rat counterparts, frame-numbered geometry caches, Alembic archives,
volume sequences, Arnold scene files (single and in sequences, some naming further scene files),
Redshift proxies, V-Ray scenes, geometry caches with file lists, a tree of USD layers, and plain
image sequences; a few named files are missing. The scene (about 1,950 file parameters) is written
as a real .hip file and as a scene description of the `hou` test double, each with and without
the USD nodes. With --show, the project's weight moves into nested files: a USD show of several
hundred layers (bench/usd_show.py: assets with look sublayers, level-of-detail variants that
pay-load their geometry, UDIM textures, value clips, a missing layer) is added, and named by one
more USD node. DIR/manifest.json records what was made.
"""

import argparse
import json
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))
import hipwrite  # noqa: E402


def write(path, data=b""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


class Project:
    def __init__(self, root, scale):
        self.root = root
        self.scale = scale
        self.files = 0
        self.nested_bytes = 0
        self.parms = []      # (node type, parameter name, raw value)
        self.usd_parms = []  # the same, for the USD nodes
        self.rng = random.Random(7)

    def n(self, count):
        return max(1, int(round(count * self.scale)))

    def touch(self, path, data=b""):
        write(path, data)
        self.files += 1

    def nested(self, path, data):
        self.touch(path, data)
        self.nested_bytes += len(data)

    def p(self, *parts):
        return os.path.join(self.root, *parts)

    def hip(self, *parts):
        return "$HIP/" + "/".join(parts)


def textures(pr):
    for a in range(pr.n(200)):
        d = ("tex", "asset%03d" % a)
        for s in range(4):
            for tile in range(1001, 1011):
                pr.touch(pr.p(*d, "skin%d.%d.exr" % (s, tile)))
                if tile % 2:
                    pr.touch(pr.p(*d, "skin%d.%d.tx" % (s, tile)))
            if s < 2:
                pr.parms.append(("arnold::image", "filename", pr.hip(*d, "skin%d.<UDIM>.exr" % s)))
        for t in range(30):
            name = "tex%02d.exr" % t
            pr.touch(pr.p(*d, name))
            if t % 2 == 0:
                pr.touch(pr.p(*d, "tex%02d.tx" % t))
            elif t % 5 == 1:
                pr.touch(pr.p(*d, "tex%02d_linear.exr.tx" % t))
            if t % 4 == 0:
                pr.touch(pr.p(*d, name + ".rat"))
            if t == a % 30:
                pr.parms.append(("texture", "map", pr.hip(*d, name)))
        if a % 4 == 0:
            pr.parms.append(("texture", "map", pr.hip(*d, "missing_%d.exr" % a)))


def caches(pr):
    for c in range(pr.n(100)):
        d = ("geo", "shot%03d" % c)
        for f in range(1001, 1401):
            pr.touch(pr.p(*d, "rock.%04d.bgeo.sc" % f))
        pr.parms.append(("file", "file", pr.hip(*d, "rock.$F4.bgeo.sc")))
    for a in range(pr.n(20)):
        for k in range(10):
            pr.touch(pr.p("abc", "set%02d" % a, "anim%02d.abc" % k), b"abc")
            if k % 2 == 0:
                pr.parms.append(("alembic", "fileName", pr.hip("abc", "set%02d" % a, "anim%02d.abc" % k)))
    for v in range(pr.n(20)):
        d = ("vdb", "smoke%02d" % v)
        for f in range(1001, 1201):
            pr.touch(pr.p(*d, "smoke.%04d.vdb" % f))
        pr.parms.append(("volume", "file", pr.hip(*d, "smoke.$F4.vdb")))


def plates(pr):
    """Image sequences that only need listing and stating."""
    for d in range(pr.n(600)):
        dd = ("plates", "seq%03d" % d)
        for f in range(1001, 1061):
            pr.touch(pr.p(*dd, "plate.%04d.exr" % f))
        pr.parms.append(("cop2file", "filename1", pr.hip(*dd, "plate.$F4.exr")))


def ass_text(pr, names, size):
    out = []
    for i, name in enumerate(names):
        out.append("image\n{\n name img%d\n filename \"%s\"\n}\n" % (i, name))
    padding = "polymesh\n{\n name mesh%d\n vlist 64 1 POINT\n" + " 0.5 1.5 2.5" * 60 + "\n}\n"
    i = 0
    while sum(map(len, out)) < size:
        out.append(padding % i)
        i += 1
    return "".join(out)


def arnold(pr):
    tex = lambda a, t: pr.p("tex", "asset%03d" % (a % pr.n(200)), "tex%02d.exr" % t)
    for s in range(pr.n(250)):
        d = ("ass", "single%03d" % (s // 3))
        names = [tex(s, t) for t in range(6)] + ["%s/missing_in_ass_%d.tx" % (pr.p(*d), s)]
        if s % 3 == 0:
            inner = pr.p(*d, "inner%d.ass" % s)
            pr.nested(inner, ass_text(pr, [tex(s + 1, 8), tex(s + 1, 9)], 100_000))
            names.append("inner%d.ass" % s)
        pr.nested(pr.p(*d, "proc%d.ass" % s), ass_text(pr, names, 250_000))
        pr.parms.append(("arnold::procedural", "filename", pr.hip(*d, "proc%d.ass" % s)))
    for s in range(pr.n(80)):
        d = ("ass", "seq%03d" % s)
        for f in range(1001, 1031):
            pr.nested(pr.p(*d, "crowd.%04d.ass" % f), ass_text(pr, [tex(s, f % 30)], 60_000))
        pr.parms.append(("arnold::procedural", "filename", pr.hip(*d, "crowd.$F4.ass")))


def redshift(pr):
    for s in range(pr.n(200)):
        d = ("rs", "prox%03d" % (s // 4))
        body = bytearray(os.urandom(50_000).replace(b"\\", b"x").replace(b"/", b"y").replace(b".", b"z"))
        for t in range(5):
            body += b"\x00%s\x00\n" % pr.p("tex", "asset%03d" % ((s + t) % pr.n(200)), "tex%02d.exr" % (10 + t)).encode()
        pr.nested(pr.p(*d, "proxy%d.rs" % s), bytes(body))
        pr.parms.append(("redshift_proxySOP", "RS_proxy_file", pr.hip(*d, "proxy%d.rs" % s)))


def vray(pr):
    for s in range(pr.n(100)):
        d = ("vray", "scene%03d" % (s // 4))
        lines = ["BitmapBuffer bitmap%d {\n  file=\"%s\";\n}\n" % (
            t, pr.p("tex", "asset%03d" % ((s + t) % pr.n(200)), "tex%02d.exr" % (20 + t))) for t in range(5)]
        lines.append("VRayProxy proxy {\n  file=\"local/missing.vrmesh\";\n}\n")
        lines += ["Node n%d {\n  transform=Transform(Matrix(Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)), Vector(0, 0, 0));\n}\n" % i
                  for i in range(150)]
        pr.nested(pr.p(*d, "scene%d.vrscene" % s), "".join(lines))
        pr.parms.append(("vrayproxy", "file", pr.hip(*d, "scene%d.vrscene" % s)))


def geometry_lists(pr):
    count = pr.n(150)
    for s in range(count):
        d = ("lists", "set%03d" % (s // 4))
        names = [pr.p("tex", "asset%03d" % (s % pr.n(200)), "skin0.1001.exr")]
        if s + 1 < count:
            names.append(pr.p("lists", "set%03d" % ((s + 1) // 4), "pieces%d.bgeo" % (s + 1)))
        geo = ["fileversion", "19.5.605", "pointcount", 1000,
               "attributes", [["pointattributes", [[["name", "P"], ["values", {"tuples": [[0.5, 1.5, 2.5]] * 800}]]]]],
               "primitives", [[["type", "PackedDisk"], ["filenames", "[%s]" % ",".join(names)]]]]
        pr.nested(pr.p(*d, "pieces%d.bgeo" % s), json.dumps(geo))
        pr.parms.append(("file", "file", pr.hip(*d, "pieces%d.bgeo" % s)))


def usd_tree(pr):
    """Shots with sublayers, references and payloads into an asset library; one root layer per
    shot is named by the scene's USD nodes."""
    assets = pr.n(40)
    for a in range(assets):
        d = ("usd", "assets", "asset%02d" % a)
        tex = pr.p("tex", "asset%03d" % a, "skin0.<UDIM>.exr")
        pr.nested(pr.p(*d, "geo.usda"), '#usda 1.0\n(\n    defaultPrim = "m"\n)\n'
                  'def Mesh "m" {\n    asset inputs:file = @%s@\n}\n' % tex)
        pr.nested(pr.p(*d, "asset.usda"), '#usda 1.0\n(\n    defaultPrim = "asset"\n)\n'
                  'def Xform "asset" (\n    payload = @./geo.usda@\n)\n{\n}\n')
    for s in range(pr.n(20)):
        d = ("usd", "shots", "shot%02d" % s)
        refs = "".join('    def "a%d" (\n        references = @../../assets/asset%02d/asset.usda@\n    )\n    {\n    }\n'
                       % (i, (s * 3 + i) % assets) for i in range(3))
        pr.nested(pr.p(*d, "layout.usda"), '#usda 1.0\ndef Xform "world"\n{\n%s}\n' % refs)
        pr.nested(pr.p(*d, "lighting.usda"), '#usda 1.0\ndef Xform "lights"\n{\n}\n')
        pr.nested(pr.p(*d, "shot.usda"), '#usda 1.0\n(\n    subLayers = [\n        @./layout.usda@,\n'
                  '        @./lighting.usda@,\n        @./missing_fx.usda@\n    ]\n)\n')
        pr.usd_parms.append(("sublayer", "filepath1", pr.hip(*d, "shot.usda")))


def usd_show(pr):
    """The show of bench/usd_show.py inside the project, its shot layer named by a USD node."""
    from pathlib import Path

    from usd_show import build_show
    before = sum(len(files) for _, _, files in os.walk(pr.root))
    shot, _ = build_show(Path(pr.p("usd", "show")), assets=pr.n(150))
    for folder, _, files in os.walk(pr.p("usd", "show")):
        pr.nested_bytes += sum(os.path.getsize(os.path.join(folder, f)) for f in files if ".usd" in f)
    pr.files += sum(len(files) for _, _, files in os.walk(pr.root)) - before
    pr.usd_parms.append(("sublayer", "filepath1", pr.hip("usd", "show", shot.name)))


def scene_description(pr, with_usd, version="19.5.605", empty=False):
    nodes = [{"path": "/obj", "type": "obj"}, {"path": "/out", "type": "out"},
             {"path": "/stage", "type": "lopnet"},
             {"path": "/obj/cam1", "type": "cam", "parms": {"resx": 1920, "resy": 1080}},
             {"path": "/out/mantra1", "type": "ifd",
              "parms": {"camera": "/obj/cam1", "vm_picture": "$HIP/render/beauty.$F4.exr",
                        "f1": 1001, "f2": 1100, "f3": 1}}]
    parms = [] if empty else pr.parms + (pr.usd_parms if with_usd else [])
    per_node = 8
    for i in range(0, len(parms), per_node):
        group = parms[i:i + per_node]
        for k, (kind, name, value) in enumerate(group):
            root = "/stage" if kind == "sublayer" else "/obj"
            nodes.append({"path": "%s/n%05d_%d" % (root, i, k), "type": kind, "parms": {name: value}})
    return {"version": version, "variables": {"JOB": pr.root}, "frames": (1001, 1100), "nodes": nodes}


def generate(root, scale=1.0, show=False):
    pr = Project(root, scale)
    for part in (textures, caches, plates, arnold, redshift, vray, geometry_lists, usd_tree):
        part(pr)
    if show:
        usd_show(pr)
    scenes = {}
    for with_usd in (False, True):
        description = scene_description(pr, with_usd)
        tag = "usd" if with_usd else "plain"
        hip = os.path.join(root, "shot_%s.hip" % tag)
        hipwrite.write_cpio(hip, description)
        double = os.path.join(root, "shot_%s_double.hip" % tag)
        with open(double, "w", encoding="utf-8") as f:
            f.write("set -g _HIP_SAVEVERSION = '%s'\n" % description["version"] + json.dumps(description))
        scenes[tag] = {"hip": hip, "double": double,
                       "parms": sum(len(n.get("parms", {})) for n in description["nodes"])}
    # The same scene without file parameters: what a run costs before it touches the project.
    empty = os.path.join(root, "shot_empty.hip")
    hipwrite.write_cpio(empty, scene_description(pr, False, empty=True))
    scenes["empty"] = {"hip": empty}
    directories = sum(len(dirs) for _, dirs, _ in os.walk(root))
    manifest = {"scale": scale, "show": show, "files": pr.files, "directories": directories,
                "nested_bytes": pr.nested_bytes, "file_parms": len(pr.parms),
                "usd_parms": len(pr.usd_parms), "scenes": scenes}
    with open(os.path.join(root, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
    return manifest


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--show", action="store_true", help="add a USD show of several hundred layers")
    args = parser.parse_args()
    print(json.dumps(generate(args.root, args.scale, args.show), indent=1))
