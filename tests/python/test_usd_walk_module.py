"""The USD walks' module on its own, with the USD library: the module file installed beside the
extension module, loaded as the analysis loads it."""

import gc
import importlib.util
import os
import sys

import pytest

pxr = pytest.importorskip("pxr.Usd")


def load(name):
    import scanflow
    path = os.path.join(os.path.dirname(scanflow.__file__), "scanflow_usd_walk.py")
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def with_look_variants(head, reference):
    """A layer whose prim /Top has the variants a (empty) and b (a reference), a selected."""
    return ('#usda 1.0\n%sdef "Top" (\n  variants = { string look = "a" }\n  prepend variantSets = "look"\n) {\n'
            '  variantSet "look" = {\n    "a" { }\n    "b" (\n      references = %s\n    ) { }\n  }\n}\n'
            % (head, reference))


@pytest.fixture
def walks():
    module = load("walks_under_test")
    refused = []

    def refusal(layer_path):
        refused.append(os.path.basename(layer_path))
        return "refused by the test" if os.path.basename(layer_path).startswith("no_") else ""

    module._layer_refusal = refusal
    module.refused = refused
    module.begin_run()
    yield module
    module.end_run()
    sys.modules.pop("walks_under_test", None)


def test_without_the_analysis_layer_test_nothing_is_opened(tmp_path):
    module = load("walks_untold")
    (tmp_path / "a.usda").write_text('#usda 1.0\ndef "A" {}\n')
    with pytest.raises(RuntimeError, match="layer test was not given"):
        module.external_references(str(tmp_path / "a.usda"))


def test_every_layer_a_stage_composes_is_admitted_before_the_library_opens_it(walks, tmp_path):
    (tmp_path / "model.usda").write_text('#usda 1.0\ndef "Model" {\n  asset tex = @./wood.png@\n}\n')
    (tmp_path / "sub.usda").write_text('#usda 1.0\ndef "Sub" (\n  references = @./model.usda@</Model>\n) {}\n')
    (tmp_path / "top.usda").write_text(with_look_variants('(\n  subLayers = [@./sub.usda@, @./absent.usda@]\n)\n',
                                                          "@./no_b.usda@"))
    (tmp_path / "no_b.usda").write_text('#usda 1.0\ndef "B" {}\n')
    # A layer behind an unselected variant is still a dependency of the layer: it is tested too.
    with pytest.raises(RuntimeError, match="no_b.usda is not opened: refused by the test"):
        walks.walk_stage(str(tmp_path / "top.usda"), None, "")

    (tmp_path / "no_b.usda").rename(tmp_path / "b.usda")
    text = (tmp_path / "top.usda").read_text().replace("no_b", "b")
    (tmp_path / "top.usda").write_text(text)
    walks.end_run()
    walks.begin_run()
    del walks.refused[:]
    walk = walks.walk_stage(str(tmp_path / "top.usda"), None, "")
    assert sorted(walks.refused) == ["b.usda", "model.usda", "sub.usda", "top.usda"]  # each once
    # What does not resolve (absent.usda) is the library's to report.
    paths = [rec["path"] for rec in walk["prims"]]
    assert paths == ["/Sub", "/Top"]
    assert walk["root_sublayers"] == ["./sub.usda", "./absent.usda"]
    sub = walk["prims"][0]
    assert [a["written"] for a in sub["attributes"]] == ["./wood.png"]
    assert sub["attributes"][0]["resolved"] == ""  # the texture does not exist

    # Within the run each layer is admitted once; once the run lets go of what it kept, the
    # next walk admits and reads every layer again, and the run goes on.
    del walks.refused[:]
    assert walks.walk_stage(str(tmp_path / "top.usda"), None, "")["prims"] == walk["prims"]
    assert walks.refused == []
    walks.let_go()
    assert walks.walk_stage(str(tmp_path / "top.usda"), None, "")["prims"] == walk["prims"]
    assert sorted(walks.refused) == ["b.usda", "model.usda", "sub.usda", "top.usda"]
    assert walks._run["open"] and not gc.isenabled()


def test_a_variant_the_analysis_chooses_is_walked(walks, tmp_path):
    (tmp_path / "b.usda").write_text('#usda 1.0\ndef "B" {\n  asset file = @./b.exr@\n}\n')
    (tmp_path / "b.exr").write_text("b")
    (tmp_path / "top.usda").write_text(with_look_variants("", "@./b.usda@</B>"))
    chosen = walks.walk_stage(str(tmp_path / "top.usda"), lambda path: [("look", "b")], "")
    top = chosen["prims"][0]
    assert top["selections"] == [("look", "b", True)]
    assert [a["resolved"] for a in top["attributes"]] == [str(tmp_path / "b.exr")]


def clips_from_clip_layer(active, times):
    """Prim metadata taking values over time from /Clip of clip.usda."""
    return ('  clips = {\n    dictionary default = {\n      asset[] assetPaths = [@./clip.usda@]\n'
            '      string primPath = "/Clip"\n      double2[] active = [%s]\n      double2[] times = [%s]\n'
            '    }\n  }\n' % (active, times))


def sampled_files(walk):
    return sorted(os.path.basename(a["resolved"] or a["written"]) for prim in walk["prims"]
                  for a in prim["attributes"] if a["kind"] == 2)


def test_values_over_time_are_read_from_samples_and_from_clips_only_where_a_layer_brings_them(walks, tmp_path):
    # C's child is named by a layer without values over time: they come from the clips above it.
    (tmp_path / "plain.usda").write_text('#usda 1.0\ndef "P" {\n  asset inputs:file = @./still.exr@\n}\n'
                                         'over "C" {\n  def "kid" {\n    asset inputs:file\n  }\n}\n')
    (tmp_path / "clip.usda").write_text(
        '#usda 1.0\ndef "Clip" {\n  asset inputs:file.timeSamples = {\n    1: @./c1.exr@,\n    2: @./c2.exr@,\n  }\n'
        '  def "kid" {\n    asset inputs:file.timeSamples = { 1: @./k1.exr@ }\n  }\n}\n')
    # The values over time come from the clip layer alone: the layer naming it holds no samples.
    (tmp_path / "clipped.usda").write_text(
        '#usda 1.0\n(\n  subLayers = [@./plain.usda@]\n)\ndef "C" (\n%s) {\n  asset inputs:file\n}\n'
        % clips_from_clip_layer("(1, 0)", "(1, 1), (2, 2)"))
    (tmp_path / "sampled.usda").write_text(
        '#usda 1.0\ndef "S" {\n  asset inputs:file.timeSamples = {\n    1: @./s1.exr@,\n    5: @./s5.exr@,\n  }\n}\n')
    assert sampled_files(walks.walk_stage(str(tmp_path / "plain.usda"), None, "")) == ["still.exr"]
    assert {"c1.exr", "c2.exr", "k1.exr"} <= set(sampled_files(walks.walk_stage(str(tmp_path / "clipped.usda"), None, "")))
    assert {"s1.exr", "s5.exr"} <= set(sampled_files(walks.walk_stage(str(tmp_path / "sampled.usda"), None, "")))


def test_the_collector_of_cycles_rests_during_a_run_and_is_back_as_it_was_after(walks):
    assert not gc.isenabled()
    walks.begin_run()  # begun again within a run
    assert not gc.isenabled()
    walks.end_run()
    assert gc.isenabled()
    gc.disable()  # a host that keeps it off finds it off
    walks.begin_run()
    walks.end_run()
    assert not gc.isenabled()
    gc.enable()


def test_the_time_codes_of_a_stage_the_run_walked_are_not_composed_again(walks, tmp_path):
    top = tmp_path / "top.usda"
    top.write_text('#usda 1.0\n(\n  startTimeCode = 1001\n  endTimeCode = 1100\n)\ndef "A" {}\n')
    walks.walk_stage(str(top), None, "")
    opened = []
    walks._stage = lambda path, mask=None: opened.append(path)
    assert walks.time_codes(str(top)) == (1001, 1100)
    assert opened == []
    walks.end_run()  # outside a run nothing is kept
    with pytest.raises(AttributeError):
        walks.time_codes(str(top))
    assert opened == [str(top)]



def write_layers(folder, layers):
    for name, text in layers.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_text("#usda 1.0\n" + text)
    return str(folder / "top.usda")


# A stack without composition arcs: prims and their children named by several layers, opinions
# overriding one another, schema fallbacks, a blocked value, a relationship, a file name of
# another type, names in dictionary order, and an asset value resolved in the stage's context.
PLAIN_STACK = {
    "top.usda": '(\n  startTimeCode = 3\n  endTimeCode = 9\n  subLayers = [@./a/mid.usda@, @./low.usda@]\n)\n'
                'over "World" {\n  def "child_a" {}\n}\ndef "Top" {\n  token visibility = "invisible"\n}\n'
                'over "Ball" {\n  asset inputs:tex\n}\n',
    "a/mid.usda": '(\n  subLayers = [@../deep.usda@]\n)\nover "World" {\n  custom string note = "mid/n"\n'
                  '  custom string blocked = None\n  def "child_c" {}\n}\n'
                  'def "Lamp" {\n  asset inputs:file = @./lamp.exr@\n  custom string a2 = "y/"\n'
                  '  asset[] inputs:files = [@./lamp.exr@, @@, @../gone.exr@, @/nowhere/abs.exr@]\n'
                  '  asset inputs:none = @@\n  asset inputs:tiles = @./tiles.<UDIM>.exr@\n}\n'
                  'def "Searched" {\n  asset inputs:file = @lamp.exr@\n}\n',
    "deep.usda": 'over "World" {\n  def "child_b" {}\n  def "child_a" {}\n}\ndef Sphere "Ball" {\n'
                 '  custom string a10 = "x/"\n  custom string a2 = "y/"\n  custom string B1 = "z/"\n'
                 '  custom int filename = 3\n  rel target = </World>\n  asset inputs:tex = @./ball.exr@\n}\n',
    "low.usda": 'def Xform "World" {\n  custom string note = "low/n"\n  custom string blocked = "kept"\n'
                '  token purpose = "render"\n}\nclass "_shared" {}\ndef Mesh "Geo" {}\n',
}


def test_a_plain_stack_is_read_from_its_layers_as_the_library_composes_it(walks, tmp_path):
    (tmp_path / "a").mkdir()
    (tmp_path / "a" / "lamp.exr").write_text("l")
    (tmp_path / "a" / "tiles.1001.exr").write_text("t")
    top = write_layers(tmp_path, PLAIN_STACK)
    walk = walks.walk_stage(top, None, "")
    assert walk.pop("plain") is True
    assert [rec["path"] for rec in walk["prims"]] == [
        "/World", "/World/child_b", "/World/child_a", "/World/child_c", "/_shared", "/Geo", "/Ball", "/Lamp", "/Searched",
        "/Top"]
    world = walk["prims"][0]
    # Texts without a slash name no file (the authored purpose, the fallback visibility).
    assert {a["name"]: a["text"] for a in world["attributes"]} == {"note": "mid/n"}
    assert [spec["layer_real_path"] for spec in world["specs"]] == [
        top, str(tmp_path / "a" / "mid.usda"), str(tmp_path / "deep.usda"), str(tmp_path / "low.usda")]
    lamp = walk["prims"][7]
    assert [(a["resolved"], a["written"], a["anchored"]) for a in lamp["attributes"] if a["kind"] == 2] == [
        (str(tmp_path / "a" / "lamp.exr"), "./lamp.exr", ""),
        (str(tmp_path / "a" / "lamp.exr"), "./lamp.exr", ""), ("", "../gone.exr", str(tmp_path / "gone.exr")),
        ("", "/nowhere/abs.exr", ""), ("", "", ""), ("", "./tiles.<UDIM>.exr", str(tmp_path / "a" / "tiles.<UDIM>.exr"))]
    # A path found through the search paths resolves in the stage's context: the library's to tell.
    assert [a["resolved"] for a in walk["prims"][8]["attributes"]] == [str(tmp_path / "a" / "lamp.exr")]
    assert walks.time_codes(top) == (3, 9)
    assert walk == walks.walk_stage(top, None, "", True)


@pytest.mark.parametrize("change", [
    ('def Sphere "Ball" {', 'def Sphere "Ball" (\n  references = @./low.usda@</Geo>\n) {'),
    ('def Sphere "Ball" {', 'def Sphere "Ball" (\n  inherits = </_shared>\n) {'),
    ('def Sphere "Ball" {', 'def Sphere "Ball" (\n  prepend apiSchemas = ["MaterialBindingAPI"]\n) {'),
    ('def Sphere "Ball" {', 'def Sphere "Ball" (\n  active = false\n) {'),
    ('custom string a10 = "x/"', 'custom string a10.timeSamples = { 1: "x/" }'),
    ('(\n  subLayers = [@../deep.usda@]', '(\n  subLayers = [@../deep.usda@, @../low.usda@]'),
    ('(\n  subLayers = [@../deep.usda@]', '(\n  subLayers = [@../deep.usda@, @../absent.usda@]'),
    ('(\n  subLayers = [@../deep.usda@]', '(\n  subLayers = [@deep.usda@]'),
    ('(\n  startTimeCode = 3', '(\n  startFrame = 2\n  startTimeCode = 3'),
], ids=["reference", "inherit", "api schema", "inactive", "samples", "layer twice", "missing", "searched",
        "start frame"])
def test_what_composes_leaves_the_walk_to_the_library(walks, tmp_path, change):
    layers = {name: text.replace(*change) for name, text in PLAIN_STACK.items()}
    assert layers != PLAIN_STACK
    top = write_layers(tmp_path, layers)
    walk = walks.walk_stage(top, None, "")
    assert "plain" not in walk
    assert walk == walks.walk_stage(top, None, "", True)


@pytest.mark.parametrize("layers, derived", [(3, False), (12, True)])
def test_a_walk_below_its_parent_reads_a_short_plain_stack_and_derives_a_long_one(walks, tmp_path, layers, derived):
    # Each layer renews the root prim the layers below define: deriving composes that prim anew
    # through the whole stack below, reading reads every layer of it.
    for k in range(layers):
        head = '(\n  subLayers = [@./l%d.usda@]\n)\n' % (k + 1) if k + 1 < layers else ""
        kind = "over" if k + 1 < layers else "def"
        (tmp_path / ("l%d.usda" % k)).write_text(
            '#usda 1.0\n%s%s "World" {\n  def "c%d" {\n    custom string note = "n%d"\n  }\n}\n' % (head, kind, k, k))
    top, below = str(tmp_path / "l0.usda"), str(tmp_path / "l1.usda")
    assert walks.walk_stage(top, None, "").get("plain")
    walk = walks.walk_stage(below, None, top)
    assert (walk["layout"] is not None) == derived
    assert ("plain" in walk) != derived
    if not derived:  # a derived walk holds only the renewed prims, assembled by the analysis
        assert walk["prims"] == walks.walk_stage(below, None, "", True)["prims"]


def test_a_prim_is_given_the_record_of_a_prim_with_the_same_specs_only_where_nothing_else_decides(walks, tmp_path):
    # An asset placed by three stages: plainly, with its times shifted, and under clips. Its
    # children have the same specs in each.
    (tmp_path / "asset.usda").write_text(
        '#usda 1.0\ndef "Asset" {\n  def Xform "still" {\n    asset inputs:file = @./still.exr@\n    asset filename\n'
        '    uniform token purpose = "render/still"\n  }\n'
        '  def "timed" {\n    asset filename.timeSamples = { 0: @./a.exr@, 10: @./b.exr@ }\n  }\n}\n')
    (tmp_path / "clip.usda").write_text(
        '#usda 1.0\ndef "Clip" {\n  def "still" {\n    asset filename.timeSamples = { 0: @./c.exr@ }\n  }\n}\n')
    (tmp_path / "plain.usda").write_text('#usda 1.0\ndef "X" (\n  references = @./asset.usda@</Asset>\n) {}\n')
    (tmp_path / "shifted.usda").write_text(
        '#usda 1.0\ndef "Z" (\n  references = @./asset.usda@</Asset> (offset = -10)\n) {}\n')
    (tmp_path / "clipped.usda").write_text(
        '#usda 1.0\ndef "Y" (\n  references = @./asset.usda@</Asset>\n%s) {}\n'
        % clips_from_clip_layer("(0, 0)", "(0, 0)"))
    walked = {name: walks.walk_stage(str(tmp_path / (name + ".usda")), None, "")
              for name in ("plain", "shifted", "clipped")}
    for name, walk in walked.items():
        full = walks.walk_stage(str(tmp_path / (name + ".usda")), None, "", True)
        assert {k: v for k, v in walk.items() if k not in ("reused", "plain")} == full, name
    assert "reused" not in walked["plain"] and walked["shifted"]["reused"] is True
    timed = {rec["path"]: [a["sample_path"] for a in rec["attributes"] if a["time_sampled"]]
             for walk in walked.values() for rec in walk["prims"]}
    # The value at time 0 moves with the shift; clips give the still child values over time.
    assert (timed["/X/timed"], timed["/Z/timed"]) == (["./a.exr"], ["./b.exr"])
    assert (timed["/X/still"], timed["/Y/still"]) == ([], ["./c.exr"])
    # Schema texts are read where authored; a fallback without a slash names no file.
    still = next(rec for rec in walked["plain"]["prims"] if rec["path"] == "/X/still")
    assert [(a["name"], a["text"]) for a in still["attributes"] if a["kind"] == 1] == [("purpose", "render/still")]
    # Read from layers, a schema property nothing authors is read where its fallback may name a
    # file: an asset, a text with a slash.
    from pxr import Sdf
    names = Sdf.ValueTypeNames
    definition = {"slash": (names.Token, "a/b"), "plain": (names.Token, "ab"), "none": (names.String, None),
                  "asset": (names.Asset, Sdf.AssetPath("")), "count": (names.Int, 0), "rel": None}
    assert sorted(walks._loud("Made", definition)) == ["asset", "slash"]
    walks._DEFINITIONS["Made"] = {name: held for name, held in definition.items() if name != "asset"}
    rec = {"attributes": []}
    layer = Sdf.Layer.CreateAnonymous()
    assert walks._plain_attributes([Sdf.PrimSpec(layer, "P", Sdf.SpecifierDef, "Made")], rec)
    assert [(a["name"], a["text"]) for a in rec["attributes"]] == [("slash", "a/b")]


# An asset as a show places it: a root prim whose variant chooses a payload, a look sublayer
# naming textures, a child; and a stage placing it under /World.
PLACED_ASSET = {
    "asset.usda": '(\n  defaultPrim = "Asset"\n  startTimeCode = 2\n  subLayers = [@./look.usda@]\n)\n'
                  'def Xform "Asset" (\n  variants = { string lod = "render" }\n  prepend variantSets = "lod"\n) {\n'
                  '  variantSet "lod" = {\n    "proxy" (\n      prepend payload = @./proxy.usda@\n    ) { }\n'
                  '    "render" (\n      prepend payload = @./geo.usda@\n    ) { }\n  }\n'
                  '  def "child" {\n    asset filename\n  }\n}\n',
    "look.usda": 'over "Asset" {\n  asset inputs:file = @./tex/wood.exr@\n  asset inputs:gone = @./tex/gone.exr@\n}\n',
    "geo.usda": '(\n  defaultPrim = "Geo"\n)\ndef Xform "Geo" {\n  def Mesh "mesh" {\n'
                '    asset primvars:file = @./tex/mesh.<UDIM>.exr@\n  }\n}\n',
    "proxy.usda": '(\n  defaultPrim = "Geo"\n)\ndef Xform "Geo" {}\n',
    "top.usda": 'def Xform "World" {\n  def Xform "a" (\n    prepend references = @./asset.usda@\n  ) {\n  }\n}\n',
}


@pytest.mark.parametrize("change, given", [
    (None, True),
    (("top.usda", ') {\n  }', ') {\n    custom string note = "n/x"\n  }'), False),
    (("top.usda", 'prepend references', 'variants = { string lod = "proxy" }\n    prepend references'), False),
    (("top.usda", '@./asset.usda@\n', '@./asset.usda@ (offset = 5)\n'), False),
    (("top.usda", 'def Xform "a"', 'def Scope "a"'), False),
    (("asset.usda", 'def Xform "Asset"', 'def "Other" {}\ndef Xform "Asset"'), False),
    # An instance in the stage placing it, not in its own: the root prim has no arc of its own.
    (("asset.usda", '  variants = { string lod = "render" }\n  prepend variantSets = "lod"\n', '  instanceable = true\n'),
     False),
    (("top.usda", '@./asset.usda@\n', '[@./asset.usda@, @./geo.usda@]\n'), False),
    (("look.usda", '@./tex/wood.exr@', '@tex/wood.exr@'), False),
    (("geo.usda", '@./tex/mesh.<UDIM>.exr@', '@tex/mesh.exr@'), False),
    (("asset.usda", 'def "child" {', 'def "child" (\n    inherits = </_look>\n  ) {'), False),
    (("top.usda", 'def Xform "World" {', 'def Xform "World" (\n%s) {' % clips_from_clip_layer("(0, 0)", "(0, 0)")),
     False),
    # Placed twice: the first place overrides it, the second gives its walk.
    (("top.usda", '  def Xform "a"', '  def Xform "o" (\n    references = @./asset.usda@\n  ) {\n'
                                    '    over "child" {\n      custom string note = "n/x"\n    }\n  }\n  def Xform "a"'),
     True),
], ids=["placed", "own opinion", "selection", "offset", "type", "second root", "instance", "two arcs", "searched", "searched below",
        "class", "clips", "twice"])
def test_a_referenced_layer_is_given_the_walk_of_its_place_only_where_it_composes_alike(walks, tmp_path, change, given):
    layers = dict(PLACED_ASSET)
    if change:
        name, old, new = change
        assert old in layers[name]
        layers[name] = layers[name].replace(old, new)
    layers["top.usda"] += 'class "_look" {\n  asset inputs:extra = @./tex/class.exr@\n}\n'
    (tmp_path / "clip.usda").write_text('#usda 1.0\ndef "Clip" {\n  def "a" {\n    def "child" {\n'
                                        '      asset filename.timeSamples = { 0: @./c.exr@ }\n    }\n  }\n}\n')
    top = write_layers(tmp_path, layers)
    asset = str(tmp_path / "asset.usda")
    placing = walks.walk_stage(top, None, "")
    assert {k: v for k, v in placing.items() if k != "reused"} == walks.walk_stage(top, None, "", True)
    walk = walks.walk_stage(asset, None, "")
    assert walk.get("placed", False) == given
    full = walks.walk_stage(asset, None, "", True)
    assert {k: v for k, v in walk.items() if k not in ("placed", "reused")} == full
    assert walks.time_codes(asset) == (2, 0)
    if not change or change[0] == "top.usda":
        # The textures are those of the asset's own stage, the chosen payload's included.
        assert [os.path.basename(a["resolved"] or a["written"]) for rec in walk["prims"] for a in rec["attributes"]
                if a["kind"] == 2] == ["wood.exr", "gone.exr", "mesh.<UDIM>.exr"]
