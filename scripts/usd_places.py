"""Random stages placing an asset, to check the walks a layer is given by the stage that places
it: each scene writes an asset (a root prim with or without instancing, activation, a variant
set choosing a payload, a class arc, an applied schema, a reference of its own, a look
sublayer, time samples, a path found through the search paths, a second root prim) and a stage
placing it (a reference or payload, with or without a prim path, an offset, a variant selection,
instancing, opinions of its own or of a sublayer, another type). The stage is walked, then the
asset; where the asset's walk was given by its place it must equal the asset's full walk.

    .venv/bin/python scripts/usd_places.py [--seed 1] [--scenes 1000] [--rate 0.3]

`--rate` scales how often each feature appears: lower rates give more plain placements. Prints
how many walks were given and how many differ (each named with its folder, which is kept).
"""

import argparse
import importlib.util
import pathlib
import random
import shutil
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[1]


def load_walks():
    spec = importlib.util.spec_from_file_location("walks", ROOT / "src" / "python" / "scanflow_usd_walk.py")
    walks = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(walks)
    walks._layer_refusal = lambda path: ""
    return walks


def asset_layer(rng, has):
    meta = [line for line, p in (("instanceable = true", 0.3), ("active = false", 0.2),
                                 ('kind = "component"', 0.3)) if has(p)]
    variants = has(0.3)
    if variants:
        meta += ['variants = { string lod = "%s" }' % rng.choice("ab"), 'prepend variantSets = "lod"']
    meta += [line for line, p in (("prepend inherits = </_cls>", 0.2), ('prepend apiSchemas = ["MaterialBindingAPI"]', 0.2),
                                  ("prepend references = @./sub.usda@</Sub>", 0.2)) if has(p)]
    head = [line for line, p in (("subLayers = [@./look.usda@]", 0.3), ("timeCodesPerSecond = 48", 0.2),
                                 ("startTimeCode = 5", 0.2), ('defaultPrim = "Asset"', 0.5)) if has(p)]
    kind = rng.choice(["Xform", "Scope", "", "Mesh"])
    body = ["  asset inputs:file = @%s@" % rng.choice(["./tex/a.exr", "tex/a.exr", "./tex/t.<UDIM>.exr",
                                                       "./tex/gone.exr"])]
    if has(0.3):
        body.append("  asset inputs:anim.timeSamples = { 0: @./tex/a.exr@, 5: @./tex/b.exr@ }")
    if has(0.3):
        body.append('  custom string note = "x/y"')
    child = "    instanceable = true\n    references = @./sub.usda@</Sub>\n" if has(0.3) else ""
    body.append('  def "child" (\n%s  ) {\n    asset filename = @./tex/b.exr@\n  }' % child)
    if variants:
        body.append('  variantSet "lod" = {\n    "a" {\n      def "va" {\n        asset inputs:v = @./tex/a.exr@\n'
                    '      }\n    }\n    "b" (\n      prepend payload = @./sub.usda@</Sub>\n    ) { }\n  }')
    text = "#usda 1.0\n" + ("(\n  %s\n)\n" % "\n  ".join(head) if head else "")
    text += 'def %s"Asset" (\n  %s\n) {\n%s\n}\n' % (kind + " " if kind else "", "\n  ".join(meta), "\n".join(body))
    if has(0.2):
        text += 'def "Other" {}\n'
    if has(0.3):
        text += 'class "_cls" {\n  asset inputs:cls = @./tex/a.exr@\n}\n'
    return text, kind


def placing_layer(rng, has, folder, kind):
    own = [line for line, p in (('variants = { string lod = "b" }', 0.2), ("instanceable = true", 0.2),
                                ("active = false", 0.1)) if has(p)]
    target = "@./asset.usda@" + ("</Asset>" if has(0.5) else "") + (" (offset = 3)" if has(0.15) else "")
    own.append("%s = %s" % (rng.choice(["prepend references", "references", "prepend payload"]), target))
    kind = rng.choice(["Xform", "", "Scope"]) if has(0.5) else kind
    body = ""
    if has(0.15):
        body += '    custom string o = "p/q"\n'
    if has(0.15):
        body += '    over "child" {\n      custom string c = "c/d"\n    }\n'
    head = []
    if has(0.2):
        head.append("timeCodesPerSecond = 24")
    if has(0.2):
        head.append("subLayers = [@./late.usda@]")
        (folder / "late.usda").write_text('#usda 1.0\nover "World" {\n  over "a" {\n    custom string late = "l/m"\n'
                                          '  }\n}\n')
    text = "#usda 1.0\n" + ("(\n  %s\n)\n" % "\n  ".join(head) if head else "")
    text += 'def Xform "World" {\n  def %s"a" (\n    %s\n  ) {\n%s  }\n}\n' % (
        kind + " " if kind else "", "\n    ".join(own), body)
    if has(0.2):
        text += 'class "_cls" {\n  asset inputs:shotcls = @./tex/b.exr@\n}\n'
    return text


def one_scene(walks, rng, rate):
    """Whether the asset's walk was given by its place, and whether it differs from its full walk."""
    folder = pathlib.Path(tempfile.mkdtemp())
    (folder / "tex").mkdir()
    for name in ("a.exr", "b.exr", "t.1001.exr"):
        (folder / "tex" / name).write_text("x")

    def has(p):
        return rng.random() < p * rate

    asset, kind = asset_layer(rng, has)
    (folder / "asset.usda").write_text(asset)
    (folder / "look.usda").write_text('#usda 1.0\nover "Asset" {\n  asset inputs:look = @./tex/b.exr@\n}\n')
    (folder / "sub.usda").write_text('#usda 1.0\ndef "Sub" {\n  asset inputs:sub = @./tex/a.exr@\n  def "deep" {}\n}\n')
    (folder / "top.usda").write_text(placing_layer(rng, has, folder, kind))
    walks.begin_run()
    try:
        walks.walk_stage(str(folder / "top.usda"), None, "")
        walk = walks.walk_stage(str(folder / "asset.usda"), None, "")
        given = bool(walk.pop("placed", False))
        differs = given and walk != walks.walk_stage(str(folder / "asset.usda"), None, "", True)
    finally:
        walks.end_run()
    if differs:
        print("differs:", folder)
    else:
        shutil.rmtree(folder)
    return given, differs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--scenes", type=int, default=1000)
    parser.add_argument("--rate", type=float, default=0.3)
    args = parser.parse_args()
    walks, rng = load_walks(), random.Random(args.seed)
    results = [one_scene(walks, rng, args.rate) for _ in range(args.scenes)]
    print("scenes %d, walks given by their place %d, differing from the full walk %d" % (
        len(results), sum(g for g, _ in results), sum(d for _, d in results)))


if __name__ == "__main__":
    main()
