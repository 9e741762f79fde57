"""Generated USD projects for the USD benchmark: a show of assets and a deep sublayer chain."""

from pxr import Sdf, Usd

TEXTURE_CHANNELS = ("diffuse", "roughness", "normal", "displace", "spec", "sss", "mask")


def _asset(root, index, missing_every):
    """One asset: a root layer with a look sublayer and a level-of-detail variant set whose
    variants pay-load the render or the proxy geometry. Returns the texture paths it names and
    how many of them were left missing."""
    name = "asset_%s" % _letters(index)
    adir = root / "assets" / name
    (adir / "tex").mkdir(parents=True)
    for geo in ("geo", "geo_proxy"):
        stage = Usd.Stage.CreateNew(str(adir / (geo + ".usda")))
        stage.SetDefaultPrim(stage.DefinePrim("/Geo", "Xform"))
        stage.DefinePrim("/Geo/mesh", "Mesh")
        stage.GetRootLayer().Save()

    look = Usd.Stage.CreateNew(str(adir / "look.usda"))
    shader = look.OverridePrim("/Asset")
    missing = 0
    for slot, channel in enumerate(TEXTURE_CHANNELS):
        serial = index * len(TEXTURE_CHANNELS) + slot
        if channel == "displace":  # a UDIM set
            path = "./tex/%s.<UDIM>.exr" % channel
            for tile in (1001, 1002, 1011):
                (adir / "tex" / ("%s.%d.exr" % (channel, tile))).write_text("t")
        else:
            path = "./tex/%s.exr" % channel
            if serial % missing_every:
                (adir / "tex" / ("%s.exr" % channel)).write_text("t")
            else:
                missing += 1
        shader.CreateAttribute("inputs:%s_file" % channel, Sdf.ValueTypeNames.Asset).Set(Sdf.AssetPath(path))
    look.GetRootLayer().Save()

    asset = Usd.Stage.CreateNew(str(adir / (name + ".usda")))
    asset.GetRootLayer().subLayerPaths.append("./look.usda")
    prim = asset.DefinePrim("/Asset", "Xform")
    asset.SetDefaultPrim(prim)
    lod = prim.GetVariantSets().AddVariantSet("lod")
    for variant, geo in (("render", "./geo.usda"), ("proxy", "./geo_proxy.usda")):
        lod.AddVariant(variant)
        lod.SetVariantSelection(variant)
        with lod.GetVariantEditContext():
            prim.GetPayloads().AddPayload(geo)
    lod.SetVariantSelection("render")
    asset.GetRootLayer().Save()
    return adir / (name + ".usda"), missing


def _letters(index):
    # Names without digits: every asset is its own file, not a member of a numbered sequence.
    out = ""
    for _ in range(3):
        out = chr(ord("a") + index % 26) + out
        index //= 26
    return out


def build_show(root, assets=150, missing_every=10, clips=40):
    """A shot of department layers over `assets` assets of four layers each (724 layers for 150
    assets), with value clips and a missing layer. Returns the shot's root layer."""
    root.mkdir(parents=True, exist_ok=True)
    asset_files = []
    missing = 0
    for i in range(assets):
        path, lost = _asset(root, i, missing_every)
        asset_files.append(path)
        missing += lost

    layout = Usd.Stage.CreateNew(str(root / "layout.usda"))
    layout.DefinePrim("/World", "Xform")
    for path in asset_files:
        placed = layout.DefinePrim("/World/set/%s" % path.stem, "Xform")
        placed.GetReferences().AddReference("./" + str(path.relative_to(root)))
    layout.DefinePrim("/World/set/lost").GetReferences().AddReference("./assets/lost/lost.usda")
    layout.GetRootLayer().Save()

    (root / "clips").mkdir()
    anim = Usd.Stage.CreateNew(str(root / "anim.usda"))
    for i in range(clips):
        frames = []
        for frame in (1, 2, 3):
            clip_file = root / "clips" / ("anim_%s.%d.usda" % (_letters(i), frame))
            if i % 8 or frame != 3:
                clip_file.write_text('#usda 1.0\ndef "Clip" {}\n')
            frames.append(Sdf.AssetPath("./clips/" + clip_file.name))
        clip_api = Usd.ClipsAPI(anim.DefinePrim("/World/anim/char_%s" % _letters(i)))
        clip_api.SetClipAssetPaths(frames)
        clip_api.SetClipPrimPath("/Clip")
        clip_api.SetClipActive([(1, 0), (2, 1), (3, 2)])
        clip_api.SetClipTimes([(1, 1), (2, 2), (3, 3)])
    anim.GetRootLayer().Save()

    lighting = Usd.Stage.CreateNew(str(root / "lighting.usda"))
    dome = lighting.DefinePrim("/World/lights/dome", "DomeLight")
    dome.CreateAttribute("inputs:texture:file", Sdf.ValueTypeNames.Asset).Set(Sdf.AssetPath("./hdri/sky.exr"))
    lighting.GetRootLayer().Save()
    (root / "hdri").mkdir()
    (root / "hdri" / "sky.exr").write_text("h")

    shot = Usd.Stage.CreateNew(str(root / "shot.usda"))
    for dept in ("./lighting.usda", "./anim.usda", "./layout.usda"):
        shot.GetRootLayer().subLayerPaths.append(dept)
    shot.SetStartTimeCode(1001)
    shot.SetEndTimeCode(1100)
    shot.GetRootLayer().Save()
    return root / "shot.usda", missing


def build_chain(root, depth=2000):
    """`depth` layers, each a sublayer of the one before, each in its own directory and naming a
    texture beside it. Returns the first layer."""
    for k in range(depth):
        d = root / ("d%04d" % k)
        d.mkdir(parents=True, exist_ok=True)
        (d / "tex.png").write_text("t")
        sub = "( subLayers = [@../d%04d/layer.usda@] )" % (k + 1) if k + 1 < depth else ""
        (d / "layer.usda").write_text('#usda 1.0\n%s\ndef Xform "L%04d" {\n  asset inputs:file = @./tex.png@\n}\n'
                                      % (sub, k))
    return root / "d0000" / "layer.usda"
