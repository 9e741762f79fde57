"""Stages written with pxr for the USD tests and the USD benchmark."""

from pxr import Sdf, Usd, UsdGeom


def build_stages(root):
    """A shot using sublayers, references, payloads, variants, value clips, UDIM textures, a
    reference cycle, a missing layer and a layer found only on the search path."""
    (root / "tex").mkdir()
    for tile in (1001, 1002):  # next to the layer: a directory the attribute's texture is searched in
        (root / ("skin.%d.exr" % tile)).write_text("t")
    (root / "tex/wood.exr").write_text("w")
    search = root / "search"
    search.mkdir()

    layout = Sdf.Layer.CreateNew(str(root / "layout.usda"))
    Usd.Stage.Open(layout).DefinePrim("/World/layout")
    layout.Save()

    Sdf.Layer.CreateNew(str(search / "far.usda")).Save()

    cycle_a = Usd.Stage.CreateNew(str(root / "cycle_a.usda"))
    cycle_a.DefinePrim("/A").GetReferences().AddReference("./cycle_b.usda")
    cycle_a.GetRootLayer().Save()
    cycle_b = Usd.Stage.CreateNew(str(root / "cycle_b.usda"))
    cycle_b.DefinePrim("/B").GetReferences().AddReference("./cycle_a.usda")
    cycle_b.GetRootLayer().Save()

    model = Usd.Stage.CreateNew(str(root / "model.usda"))
    prim = model.DefinePrim("/Model", "Xform")
    prim.CreateAttribute("texture:file", Sdf.ValueTypeNames.Asset).Set(Sdf.AssetPath("./tex/wood.exr"))
    model.GetRootLayer().Save()

    variant_a = Usd.Stage.CreateNew(str(root / "look_red.usda"))
    variant_a.SetDefaultPrim(variant_a.DefinePrim("/Look"))
    variant_a.GetRootLayer().Save()
    variant_b = Usd.Stage.CreateNew(str(root / "look_blue.usda"))
    variant_b.SetDefaultPrim(variant_b.DefinePrim("/Look"))
    variant_b.GetRootLayer().Save()

    for frame in (1, 2):
        clip = Usd.Stage.CreateNew(str(root / ("clip.%d.usda" % frame)))
        clip.DefinePrim("/Clip")
        clip.GetRootLayer().Save()

    shot = Usd.Stage.CreateNew(str(root / "shot.usda"))
    shot.GetRootLayer().subLayerPaths.append("./layout.usda")
    shot.SetStartTimeCode(1)
    shot.SetEndTimeCode(240.5)
    world = shot.DefinePrim("/World", "Xform")
    world.GetReferences().AddReference("./model.usda", "/Model")
    world.GetPayloads().AddPayload("./cycle_a.usda")
    world.GetReferences().AddReference("./missing.usda")
    world.GetReferences().AddReference("far.usda")
    look = shot.DefinePrim("/World/look")
    vset = look.GetVariantSets().AddVariantSet("color")
    for name, layer in (("red", "./look_red.usda"), ("blue", "./look_blue.usda")):
        vset.AddVariant(name)
        vset.SetVariantSelection(name)
        with vset.GetVariantEditContext():
            look.GetReferences().AddReference(layer)
    vset.SetVariantSelection("red")
    mesh = UsdGeom.Mesh.Define(shot, "/World/skin")
    mesh.GetPrim().CreateAttribute("primvars:skin_file", Sdf.ValueTypeNames.Asset).Set(
        Sdf.AssetPath("textures/skin.<UDIM>.exr"))
    clips = Usd.ClipsAPI(shot.DefinePrim("/World/anim"))
    clips.SetClipAssetPaths([Sdf.AssetPath("./clip.1.usda"), Sdf.AssetPath("./clip.2.usda")])
    clips.SetClipPrimPath("/Clip")
    clips.SetClipActive([(1, 0), (2, 1)])
    clips.SetClipTimes([(1, 1), (2, 2)])
    shot.GetRootLayer().Save()
    return search


def _write(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("#usda 1.0\n" + text)
    return path


def _names(count):
    # File names without digits, so that each layer is its own file to the nested-file walk.
    return ["layer_" + chr(ord("a") + i) for i in range(count)]


def build_layer_chains(root):
    """Chains of layers, each the only sublayer of the one before, that exercise what decides
    whether a stage's walk equals its parent's without the parent's root layer. Returns the top
    layer of each chain by name."""
    tops = {}

    # Alternating directories; relative, search-path and absolute texture paths; references,
    # payloads, a missing reference, clips and a time-sampled file attribute.
    names = _names(6)
    (root / "dirs" / "shared").mkdir(parents=True)
    (root / "dirs" / "shared" / "model.usda").write_text('#usda 1.0\ndef "Model" {}\n')
    for k, name in enumerate(names):
        folder = root / "dirs" / ("d%s" % "ab"[k % 2])
        (folder / "tex.png").parent.mkdir(parents=True, exist_ok=True)
        (folder / "tex.png").write_text("t")
        nxt = "../d%s/%s.usda" % ("ab"[(k + 1) % 2], names[k + 1]) if k + 1 < len(names) else None
        head = "( subLayers = [@%s@] )\n" % nxt if nxt else "\n"
        body = ('def Xform "P_%s" (\n  prepend references = [@../shared/model.usda@</Model>, @./lost_%s.usda@]\n'
                '  payload = @../shared/model.usda@</Model>\n) {\n'
                '  asset inputs:file = @./tex.png@\n  asset inputs:searched_file = @tex.png@\n'
                '  asset primvars:abs_file = @%s@\n  string filename.timeSamples = { 0: "./cache_%s.bgeo.sc" }\n'
                '  string note_file = "images/%s.exr"\n  asset inputs:elsewhere_file = @elsewhere.png@\n}\n') % (
                    name, name, folder / "tex.png", name, name)
        if k == 2:
            body += ('def "Clipped" (\n  clips = { dictionary default = { asset[] assetPaths = [@./clip_a.usda@]\n'
                     '    asset manifestAssetPath = @./manifest.usda@\n    string primPath = "/Clip"\n'
                     '    double2[] active = [(1, 0)] } }\n) {}\n')
        _write(folder / (name + ".usda"), head + body)
    # Found through the search path of a stage whose root layer lies in this directory only.
    (root / "dirs" / "da" / "elsewhere.png").write_text("e")
    tops["dirs"] = root / "dirs" / "da" / (names[0] + ".usda")

    # One directory; layers override a root prim the layers below define too, one layer only
    # reorders root prims of the layers below, and one prim holds variants.
    names = _names(6)
    for k, name in enumerate(names):
        nxt = "./%s.usda" % names[k + 1] if k + 1 < len(names) else None
        head = "(\n  subLayers = [@%s@]\n)\n" % nxt if nxt else "\n"
        body = 'def "Own_%s" {}\n' % name
        if k == 1:  # a layer that only reorders root prims of the layers below
            body += 'reorder rootPrims = ["Own_%s", "Own_%s"]\n' % (names[2], names[-1])
        else:
            body += 'over "World" {\n  def "child_%s" {\n    asset inputs:file = @./tex_%s.png@\n  }\n}\n' % (
                name, name)
        if k == 3:
            body += ('def "Switch" (\n  variants = { string look = "blue" }\n  prepend variantSets = "look"\n) {\n'
                     '  variantSet "look" = {\n    "blue" (prepend references = @./blue.usda@) {}\n'
                     '    "red" (prepend references = @./red.usda@) {}\n  }\n}\n')
        (root / "overrides" / ("tex_%s.png" % name)).parent.mkdir(parents=True, exist_ok=True)
        (root / "overrides" / ("tex_%s.png" % name)).write_text("t")
        _write(root / "overrides" / (name + ".usda"), head + body)
    _write(root / "overrides" / "blue.usda", '(defaultPrim = "B")\ndef "B" {\n  asset inputs:file = @./blue.png@\n}\n')
    tops["overrides"] = root / "overrides" / (names[0] + ".usda")

    # A class in an upper layer reaches a prim of a lower layer through inheritance.
    names = _names(4)
    for k, name in enumerate(names):
        nxt = "./%s.usda" % names[k + 1] if k + 1 < len(names) else None
        head = "( subLayers = [@%s@] )\n" % nxt if nxt else "\n"
        body = 'class "_look_%s" {\n  asset inputs:file = @./class_%s.png@\n}\n' % (name, name)
        body += 'def "Inheritor" (\n  prepend inherits = </_look_%s>\n) {}\n' % names[0] if k == len(names) - 1 else ""
        _write(root / "classes" / (name + ".usda"), head + body)
    tops["classes"] = root / "classes" / (names[0] + ".usda")

    # Sublayer offsets and frame rates change what a time-sampled attribute holds at time 0.
    names = _names(6)
    for k, name in enumerate(names):
        nxt = "./%s.usda" % names[k + 1] if k + 1 < len(names) else None
        meta = ["timeCodesPerSecond = 48"] if k == 2 else []
        if nxt:
            meta.append("subLayers = [@%s@%s]" % (nxt, " (offset = 10)" if k == 0 else ""))
        head = "(\n  %s\n)\n" % "\n  ".join(meta) if meta else "\n"
        body = ('def "Sampled_%s" {\n  string filename.timeSamples = { -10: "./early_%s.usd", 0: "./zero_%s.usd",'
                ' 10: "./late_%s.usd" }\n}\n') % (name, name, name, name)
        _write(root / "timing" / (name + ".usda"), head + body)
    tops["timing"] = root / "timing" / (names[0] + ".usda")

    # A sublayer cycle.
    _write(root / "cycle" / "layer_a.usda", '( subLayers = [@./layer_b.usda@] )\ndef "A" {}\n')
    _write(root / "cycle" / "layer_b.usda", '( subLayers = [@./layer_a.usda@] )\ndef "B" {}\n')
    tops["cycle"] = root / "cycle" / "layer_a.usda"
    return tops
