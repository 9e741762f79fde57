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
