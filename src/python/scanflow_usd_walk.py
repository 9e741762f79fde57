"""The walks over USD objects that the analysis asks of the USD library, run by the interpreter
that holds the library; they hand back plain lists and dictionaries.

Loaded by the scanflow module from beside itself (never from the search path). The module sets
`_layer_refusal` to its own test of a layer file before any walk runs."""

import gc
import os
import shutil
import tempfile
from collections import OrderedDict

from pxr import Ar, Pcp, Sdf, Usd

# Within a run nothing the analysis reads changes: layers stay open (so that no stage parses
# a layer twice), and what is known of each layer and of the last plain walks is kept.
_run = {"open": False, "layers": {}, "summaries": {}, "walks": OrderedDict(), "unread": {}, "admitted": set(),
        "times": {}, "resolved": {}, "records": {}, "referenced": {}, "referenced_records": 0, "places": {}}
_KEPT_WALKS = 16
# Records given again to prims of other stages, at most this many kept in a run.
_KEPT_RECORDS = 200000
# Records kept for the walks of the layers a stage references, at most this many in a run.
_KEPT_REFERENCED = 50000

def begin_run():
    end_run()
    _run["open"] = True
    # The walks make objects by the hundred thousand and keep many of them to the end of the run:
    # the collector of cycles would go over all of them again and again (a fifth of the time of
    # a stage of 80,000 sublayers). It is back as it was when the run ends.
    _run["collecting"] = gc.isenabled()
    gc.disable()

def end_run():
    if _run.get("collecting"):
        gc.enable()
    _run.update(open=False, collecting=False)
    let_go()

def let_go():
    """Within a run, what is kept of the layers read so far goes: the analysis reads no more of
    them, and the memory serves what it does next."""
    _run.update(layers={}, summaries={}, walks=OrderedDict(), unread={}, admitted=set(), times={}, resolved={},
                records={}, referenced={}, referenced_records=0, places={})

def _items(sequence):
    # By index: iterating the library's list proxies ends each list with an index error raised
    # and unwound in C++.
    return [sequence[i] for i in range(len(sequence))]

def _opened(path):
    layer = _run["layers"].get(path)
    if layer is None:
        why = _layer_refusal(path)
        if why:
            raise RuntimeError("USD layer " + path + " is not opened: " + why)
        layer = Sdf.Layer.FindOrOpen(path)
        if layer is not None and _run["open"]:
            _run["layers"][path] = layer
    return layer

def _layer(path):
    layer = _opened(path)
    if layer is None:
        raise RuntimeError("USD cannot open layer " + path)
    return layer

def _composed_layers(root):
    # A stage opens the layers it composes by itself; each is opened here first, once its file
    # is admitted, so that the library finds them open and never opens a file that could block
    # it or exhaust its parser. Held until the stage is open.
    held, todo, seen = [root], [root], {root.realPath}
    # Within a run the layers stay open: one whose dependencies were all admitted once is not
    # walked again by the next stage that composes it.
    admitted = _run["admitted"] if _run["open"] else set()
    resolver = Ar.GetResolver()
    while todo:
        layer = todo.pop()
        if layer.identifier in admitted:
            continue
        for asset in layer.GetCompositionAssetDependencies():
            if not asset:
                continue
            resolved = _resolved(layer, asset, resolver)
            if not resolved or resolved in seen:
                continue
            seen.add(resolved)
            child = _opened(resolved)
            if child is not None:
                held.append(child)
                todo.append(child)
    if _run["open"]:
        admitted.update(layer.identifier for layer in held)
    return held

def _resolved(layer, asset, resolver):
    """Where a layer's composition asset path resolves, known once within a run."""
    key = (layer.identifier, asset)
    known = _run["resolved"].get(key)
    if known is None:
        known = str(resolver.Resolve(Sdf.ComputeAssetPathRelativeToLayer(layer, asset)))
        if _run["open"]:
            _run["resolved"][key] = known
    return known

def _stage(path, mask=None):
    layer = _layer(path)
    held = _composed_layers(layer)
    stage = Usd.Stage.Open(layer) if mask is None else Usd.Stage.OpenMasked(layer, mask)
    del held
    if stage is None:
        raise RuntimeError("USD cannot open " + path)
    return stage

def _outer(path):
    """A file inside a package is read from the package: the package is the file to upload, and
    nothing inside it can be missing on its own."""
    if path and path.endswith("]") and Ar.IsPackageRelativePath(path):
        return Ar.SplitPackageRelativePathOuter(path)[0]
    return path

def _in_package(layer):
    return Ar.IsPackageRelativePath(layer.identifier) or layer.identifier.lower().endswith(".usdz")

def _asset(value):
    resolved = getattr(value, "resolvedPath", None)
    if resolved is None:
        return None
    return (_outer(resolved or ""), getattr(value, "path", "") or "")

def _searched(path):
    # Resolved through the stage's search paths (or an expression), so it may resolve
    # differently in a stage whose root layer lies elsewhere.
    return bool(path) and (path.startswith("`") or not (
        os.path.isabs(path) or path.startswith(("./", "../"))))

def external_references(path):
    layer = _layer(path)
    references = list(layer.GetExternalReferences())
    if not _in_package(layer):
        return references
    # Inside a package a reference is resolved against the package, never beside it.
    return [_outer(Sdf.ComputeAssetPathRelativeToLayer(layer, ref)) if ref else ref for ref in references]

def variant_selections(path):
    stage = _stage(path)
    out = []
    for prim in stage.TraverseAll():
        if not prim.HasVariantSets():
            continue
        same = stage.GetPrimAtPath(prim.GetPath())
        sets = same.GetVariantSets()
        for name in sets.GetNames():
            out.append((name, sets.GetVariantSet(name).GetVariantSelection()))
    return out

def version():
    return ".".join(str(part) for part in Usd.GetVersion())

def _times(stage):
    return (stage.GetStartTimeCode(), stage.GetEndTimeCode())

def time_codes(path):
    # A stage the run walked told its time codes then: composing a stage of many sublayers
    # again costs as much as the walk did.
    known = _run["times"].get(path) if _run["open"] else None
    return known if known is not None else _times(_stage(path))

_LISTS = ("addedItems", "appendedItems", "deletedItems", "explicitItems", "orderedItems", "prependedItems")
_ASSET_TYPES = (Sdf.ValueTypeNames.Asset, Sdf.ValueTypeNames.AssetArray)
_TEXT_TYPES = (Sdf.ValueTypeNames.String, Sdf.ValueTypeNames.Token) + _ASSET_TYPES
_SAMPLED_NAMES = ("filename", "filePath")

def _select(prim, path, choose, rec):
    changed = False
    for vset, name in choose(path):
        ok = False
        try:
            ok = bool(prim.GetVariantSet(vset).SetVariantSelection(name))
        except Exception:
            ok = False
        changed = changed or ok
        rec["selections"].append((vset, name, ok))
    return changed

def _clips(prim, rec):
    """Whether a path was searched, and whether the prim holds clips at all."""
    searched = False
    clips = Usd.ClipsAPI(prim)
    held = clips.GetClips() or {}
    # A clip file that does not resolve is reported as written, to be found missing.
    for asset in _items(clips.GetClipAssetPaths() or []):
        rec["clip_asset_paths"].append(_outer(asset.resolvedPath) or asset.path)
        searched = searched or _searched(asset.path)
    manifest = clips.GetClipManifestAssetPath()
    if manifest:
        searched = searched or _searched(manifest.path)
    rec["clip_manifest"] = ((_outer(manifest.resolvedPath) or manifest.path) if manifest else "").strip().replace(
        "\\", "/")
    for name, clip in held.items():
        for asset in _items(clip.get("assetPaths", []) or []):
            rec["clip_set_paths"].append(_outer(asset.resolvedPath) or asset.path)
            searched = searched or _searched(asset.path)
        manifest = clip.get("manifestAssetPath")
        if manifest:
            rec["clip_set_paths"].append(_outer(manifest.resolvedPath) or manifest.path)
        if clip.get("templateAssetPath"):
            searched = _template_clips(clips, name, clip["templateAssetPath"], rec) or searched
    return searched, bool(held)

def _template_clips(clips, name, template, rec):
    """The clip files a template selects (those that resolve: the library skips the others)."""
    try:
        selected = _items(clips.ComputeClipAssetPaths(name) or [])
    except Exception:
        selected = []
    for asset in selected:
        rec["clip_set_paths"].append(_outer(asset.resolvedPath) or asset.path)
    return _searched(template)

def _arc_path(layer, path, packaged):
    """Where a reference or payload of the layer lies, when the library tells better than its
    spelling: inside a package (the package), and through the search path (the file found)."""
    if not path:
        return path
    if packaged:
        return _outer(Sdf.ComputeAssetPathRelativeToLayer(layer, path))
    if _searched(path) and not path.startswith("`"):
        resolved = str(Ar.GetResolver().Resolve(Sdf.ComputeAssetPathRelativeToLayer(layer, path)))
        if resolved:
            return _outer(resolved)
    return path

def _place(layer):
    """Where a layer lies, as a prim's record tells of each spec: its file and first sublayer;
    whether it lies in a package, and whether it holds values over time. Known once per layer
    within a run."""
    known = _run["places"].get(layer.identifier)
    if known is None:
        subs = layer.subLayerPaths
        known = (layer.realPath or "", subs[0] if len(subs) else "", _in_package(layer), _summary(layer)["sampled"])
        if _run["open"]:
            _run["places"][layer.identifier] = known
    return known

def _specs(stack, rec):
    """Whether a path was searched, and whether a layer of the specs holds values over time."""
    searched = sampled = False
    for spec in stack:
        items = []
        layer = spec.layer
        real_path, first_sublayer, packaged, timed = _place(layer)
        sampled = sampled or timed
        for list_name, present in (("referenceList", spec.hasReferences), ("payloadList", spec.hasPayloads)):
            if not present:
                continue
            ops = getattr(spec, list_name)
            for op in _LISTS:
                for item in _items(getattr(ops, op)):
                    items.append(_arc_path(layer, item.assetPath, packaged))
                    searched = searched or _searched(item.assetPath)
        rec["specs"].append({"layer_real_path": real_path, "first_sublayer": first_sublayer, "items": items})
    return searched, sampled

def _names_file(entry):
    """Whether the analysis can find a file through an attribute's entry: an asset, a value over
    time, or a text holding a slash."""
    return entry["kind"] == 2 or entry["time_sampled"] or "/" in entry["text"]

def _quiet(type_name, fallback, name):
    # A schema text property whose fallback holds no slash names no file where nothing is authored.
    return type_name in _TEXT_TYPES and type_name not in _ASSET_TYPES and not (
        isinstance(fallback, str) and "/" in fallback) and name.rsplit(":", 1)[-1] not in _SAMPLED_NAMES

def _unread(prim):
    """The names of the prim's schema properties that cannot name a file: neither text nor asset
    values, nor file attributes whose time samples matter; and of those that name none unless
    authored. Known once per prim definition."""
    # The type and the applied schemas authored decide the definition; the prim's own list of
    # applied schemas is made anew at each asking, ten times the cost.
    info = prim.GetPrimTypeInfo()
    key = (info.GetTypeName(), tuple(info.GetAppliedAPISchemas()))
    known = _run["unread"].get(key)
    if known is None:
        definition = prim.GetPrimDefinition()
        unread, quiet = set(), set()
        for name in definition.GetPropertyNames():
            spec = definition.GetAttributeDefinition(name)
            if not spec or spec.GetTypeName() not in _TEXT_TYPES and name.rsplit(":", 1)[-1] not in _SAMPLED_NAMES:
                unread.add(name)
            elif _quiet(spec.GetTypeName(), definition.GetAttributeFallbackValue(name), name):
                quiet.add(name)
        known = _run["unread"][key] = (unread, quiet)
    return known

def _attributes(prim, rec, sampled):
    """Whether a path was searched, and whether an attribute holds time samples. Only text and
    asset values name files, and only file attributes matter for their time samples: other
    attributes are not read. Without `sampled`, no attribute of the stage can hold samples, and
    none is asked for them."""
    searched = timed = False
    unread, quiet = _unread(prim)
    authored = set(prim.GetAuthoredPropertyNames()) if quiet else ()
    for name in prim.GetPropertyNames():
        if name in unread or name in quiet and name not in authored:
            continue
        attr = prim.GetAttribute(name)
        if not attr:
            continue
        base_name = name.rsplit(":", 1)[-1]
        type_name = attr.GetTypeName()
        if type_name not in _TEXT_TYPES and base_name not in _SAMPLED_NAMES:
            continue
        try:
            value = attr.Get()
        except Exception:
            continue
        entry = {"name": name, "base_name": base_name, "kind": 0, "text": "", "resolved": "",
                 "written": "", "time_sampled": False, "sample_path": "", "anchored": ""}
        if isinstance(value, str):
            entry["kind"], entry["text"] = 1, value
        else:
            asset = _asset(value)
            if asset is not None:
                entry["kind"], (entry["resolved"], entry["written"]) = 2, asset
                entry["anchored"] = _anchored(attr, asset, None)
                searched = searched or _searched(asset[1])
        try:
            samples = attr.GetTimeSamples() if sampled else []
            if samples:
                entry["time_sampled"] = True
                sample = attr.Get(0)
                entry["sample_path"] = getattr(sample, "path", sample) if sample is not None else ""
        except Exception:
            samples = []
        timed = timed or entry["time_sampled"]
        if _names_file(entry):
            rec["attributes"].append(entry)
        if type_name in _ASSET_TYPES:
            values = [value] if type_name == Sdf.ValueTypeNames.AssetArray else []
            if values or samples:
                searched = _more_assets(attr, values, samples, entry, rec) or searched
    return searched, timed

def _more_assets(attr, values, samples, entry, rec):
    """The assets an attribute holds beyond its one value at the default time: each element of
    an asset array (`values`), and the value at every time sample. Each is one more asset entry."""
    searched = False
    timed = [(None, held) for held in values]
    for time in samples:
        try:
            timed.append((time, attr.Get(time)))
        except Exception:
            continue
    for time, held in timed:
        for element in (held if isinstance(held, Sdf.AssetPathArray) else [held]) if held is not None else []:
            asset = _asset(element)
            if asset is None or not (asset[0] or asset[1]):
                continue
            rec["attributes"].append(dict(entry, kind=2, text="", resolved=asset[0], written=asset[1],
                                          time_sampled=False, sample_path="",
                                          anchored=_anchored(attr, asset, time)))
            searched = searched or _searched(asset[1])
    return searched

def _anchored(attr, asset, time):
    """Where an asset path the library did not resolve lies: beside the layer whose opinion holds
    it, for a path relative to that layer. It is then missing there, unless found otherwise."""
    resolved, written = asset
    if resolved or not written.startswith(("./", "../")):
        return ""
    try:
        stack = attr.GetPropertyStack(Usd.TimeCode.Default() if time is None else time)
    except Exception:
        return ""
    if not stack:
        return ""
    return _outer(Sdf.ComputeAssetPathRelativeToLayer(stack[0].layer, written))

def _record(prim, choose, over_time, clipped, reuse=True):
    """What the analysis reads of one prim; whether a variant selection changed the stage; whether
    a path of it was resolved through the stage's search paths; whether the record is that of a
    prim of another stage. `over_time` tells whether the stage's layers hold clips and time
    samples at all: where they hold none, no prim is asked for them (each asking visits every
    layer of the stack). `clipped` holds the paths of the prims of this traversal that clips
    reach (theirs or an ancestor's); prims come parents first. Without `reuse` the library is
    asked."""
    path = prim.GetPrimPath().pathString
    stack = prim.GetPrimStack()
    under_clips = over_time["clips"] and path.rsplit("/", 1)[0] in clipped
    # Without clips, time samples, search paths or selections, what the library tells of a prim
    # follows from its specs alone: a prim of another stage with the same specs has the same.
    reusable = reuse and choose is None and not under_clips and _run["open"]
    key = tuple(stack) if reusable else None
    if reusable:
        known = _run["records"].get(key)
        if known is not None:
            return dict(known, path=path), False, False, True
    rec = {"path": path, "has_variant_sets": prim.HasVariantSets(), "selections": [],
           "clip_asset_paths": [], "clip_manifest": "", "clip_set_paths": [], "specs": [], "attributes": []}
    changed = rec["has_variant_sets"] and choose is not None and _select(prim, path, choose, rec)
    # Every clip a prim holds is in its "clips" metadata; asking for that alone costs a tenth.
    own = over_time["clips"] and prim.HasAuthoredMetadata("clips")
    searched, own_clips = _clips(prim, rec) if own else (False, False)
    if under_clips or own_clips:
        clipped.add(path)
    arcs_searched, layers_sampled = _specs(stack, rec)
    searched = arcs_searched or searched
    # An attribute's values over time come from the layers of the prim's specs, or from clips.
    sampled = over_time["sampled"] and (under_clips or own_clips or layers_sampled)
    named, timed = _attributes(prim, rec, sampled)
    searched = named or searched
    records = _run["records"]
    if reusable and not (changed or own_clips or searched or timed) and len(records) < _KEPT_RECORDS:
        records[key] = rec
    return rec, changed, searched, False

def _root_of(path):
    return path.split("/", 2)[1]

# What lets a prim's opinions reach other prims or layers, choose between them, or hide prims.
_COMPOSING_KEYS = frozenset(("references", "payload", "inheritPaths", "specializes", "relocates", "variantSetNames",
                             "variantSelection", "clips", "clipSets", "active", "instanceable", "primOrder",
                             "propertyOrder", "apiSchemas"))
_CLIP_KEYS = frozenset(("clips", "clipSets"))
_CLASS_ARC_KEYS = frozenset(("inheritPaths", "specializes", "relocates"))

def _summary(layer):
    """What of a layer decides whether its stage's walk can be derived from another's."""
    key = layer.identifier
    known = _run["summaries"].get(key)
    if known is not None:
        return known
    arcs, clips, plain = [False], [False], [True]
    def visit(path):
        variant = path.IsPrimVariantSelectionPath()
        if not variant and not path.IsPrimPath():
            return
        plain[0] = plain[0] and not variant
        if arcs[0] and clips[0] and not plain[0]:
            return
        spec = layer.GetPrimAtPath(path)
        if spec is None:
            return
        keys = set(spec.ListInfoKeys())
        plain[0] = plain[0] and not keys & _COMPOSING_KEYS
        clips[0] = clips[0] or bool(keys & _CLIP_KEYS)
        if arcs[0]:
            return
        if keys & _CLASS_ARC_KEYS:
            arcs[0] = True
            return
        for list_name, key in (("referenceList", "references"), ("payloadList", "payload")):
            if key in keys:
                ops = getattr(spec, list_name)
                if any(not item.assetPath for op in _LISTS for item in _items(getattr(ops, op))):
                    arcs[0] = True
    layer.Traverse(Sdf.Path.absoluteRootPath, visit)
    subs = _items(layer.subLayerPaths)
    known = {
        "subs": subs,
        # Asked of a layer with one sublayer only: the library builds the whole list of offsets
        # for each one it hands out, which grows with the square of their number.
        "plain_offsets": len(subs) == 1 and all(offset.IsIdentity() for offset in _items(layer.subLayerOffsets)),
        "timing": (layer.HasTimeCodesPerSecond(), layer.timeCodesPerSecond,
                   layer.HasFramesPerSecond(), layer.framesPerSecond),
        # Older libraries know neither expression variables nor layer relocates.
        "global": bool(getattr(layer, "expressionVariables", None)) or bool(getattr(layer, "relocates", None)),
        "arcs": arcs[0],
        "searched_subs": any(_searched(sub) for sub in subs),
        "roots": {child.name for child in _items(layer.rootPrims)},
        "ordered": bool(layer.rootPrimOrder),
        # Values over time: clips, and time samples of its own or brought by clips.
        "clips": clips[0],
        "sampled": clips[0] or bool(layer.ListAllTimeSamples()),
    }
    # Its prims are composed by the union of the layer stack's opinions alone.
    known["plain"] = plain[0] and not (known["sampled"] or known["global"] or known["searched_subs"] or any(
        layer.pseudoRoot.HasInfo(key) for key in ("startFrame", "endFrame")))
    _run["summaries"][key] = known
    return known


# Derived walks compose only the prims a layer renews, each asking every layer of the stack:
# cheaper than reading a long stack, dearer than reading a short one.
_SHORT_STACK = 8

def _plain_stack(root, limit=None):
    """The root layer's stack, strongest layer first, when every layer of it is plain (and it
    holds at most `limit` layers); else None. A layer met twice, or a sublayer that does not
    open, leaves it to the library."""
    resolver = Ar.GetResolver()
    stack, seen, todo = [], set(), [root]
    while todo:
        layer = todo.pop()
        if layer.identifier in seen or limit is not None and len(stack) == limit:
            return None
        seen.add(layer.identifier)
        summary = _summary(layer)
        if not summary["plain"]:
            return None
        stack.append(layer)
        subs = []
        for sub in summary["subs"]:
            resolved = _resolved(layer, sub, resolver) if sub else ""
            child = _opened(resolved) if resolved else None
            if child is None:
                return None
            subs.append(child)
        todo.extend(reversed(subs))
    return stack

def _plain_tree(stack):
    """The prims of a plain stack in traversal order, each with its specs strongest first (and
    where each lies). A prim's children are named weakest layer first, each layer adding the
    names it brings."""
    children, specs = {}, {}
    for layer in reversed(stack):
        real_path, first_sublayer = _place(layer)[:2]
        place = {"layer_real_path": real_path, "first_sublayer": first_sublayer}
        todo = [("/", layer.pseudoRoot)]
        while todo:
            path, spec = todo.pop()
            specs.setdefault(path, []).append((spec, place))
            named, known = children.setdefault(path, ([], set()))
            prefix = path if path != "/" else ""
            for kid in _items(spec.nameChildren):
                name = kid.name
                if name not in known:
                    known.add(name)
                    named.append(name)
                todo.append((prefix + "/" + name, kid))
    for held in specs.values():
        held.reverse()
    order, todo = [], ["/"]
    while todo:
        path = todo.pop()
        if path != "/":
            order.append(path)
        prefix = path if path != "/" else ""
        todo.extend(prefix + "/" + name for name in reversed(children[path][0]))
    return order, specs, children["/"][0]

# What the library does, learnt once in the process.
_SORTED, _DEFINITIONS, _LOUD, _LIBRARY = {}, {}, {}, {}

def _property_order(names):
    """Names in the order a prim lists its properties (the library's dictionary order), asked
    of the library once for each set of names."""
    key = frozenset(names)
    known = _SORTED.get(key)
    if known is None:
        stage = Usd.Stage.CreateInMemory()
        prim = stage.DefinePrim("/P")
        for name in names:
            prim.CreateAttribute(name, Sdf.ValueTypeNames.String)
        known = _SORTED[key] = list(prim.GetPropertyNames())
    return known

def _definition(type_name):
    """The properties a typed prim has without opinions: None when the library must tell (a
    type it does not know, or a library that does not answer these questions)."""
    if not type_name:
        return {}
    try:
        definition = Usd.SchemaRegistry().FindConcretePrimDefinition(type_name)
        if definition is None:
            return None
        known = {}
        for name in definition.GetPropertyNames():
            attribute = definition.GetAttributeDefinition(name)
            known[name] = (attribute.GetTypeName(), definition.GetAttributeFallbackValue(name)) if attribute else None
        return known
    except Exception:
        return None

def _plain_attributes(specs, rec):
    """The prim's text and asset attributes as the library gives them: the strongest opinion,
    else the schema's fallback. False when the library must tell (an asset value that the
    stage's context could resolve otherwise, or a property whose kind or type the opinions
    disagree on)."""
    type_name = next((spec.typeName for spec in specs if spec.typeName), "")
    if type_name not in _DEFINITIONS:
        _DEFINITIONS[type_name] = _definition(type_name)
    definition = _DEFINITIONS[type_name]
    if definition is None:
        return False
    authored = {}
    for spec in specs:
        for prop in _items(spec.properties):
            authored.setdefault(prop.name, []).append(prop)
    names = {name for name in authored if not _schema_unread(definition, name)}
    names.update(_loud(type_name, definition))
    entries = []
    for name in _property_order(names) if names else []:
        more = _plain_entries(authored.get(name, []), definition, name)
        if more is None:
            return False
        entries.extend(more)
    rec["attributes"] = entries
    return True

def _loud(type_name, definition):
    """The schema properties that may name a file where nothing is authored."""
    known = _LOUD.get(type_name)
    if known is None:
        known = _LOUD[type_name] = [name for name in definition if not _schema_unread(definition, name) and not _quiet(
            definition[name][0], definition[name][1], name)]
    return known

def _schema_unread(definition, name):
    # As `_unread`: a schema property that is neither text nor asset nor a sampled file name.
    if name not in definition:
        return False
    return definition[name] is None or (
        definition[name][0] not in _TEXT_TYPES and name.rsplit(":", 1)[-1] not in _SAMPLED_NAMES)

def _plain_entries(props, definition, name):
    """The attribute's entries (none for a relationship, a value of another type, no value), or
    None when the library must tell."""
    attributes = [prop for prop in props if isinstance(prop, Sdf.AttributeSpec)]
    defined = definition.get(name)
    if props:
        if len(attributes) != len(props) and attributes or name in definition and (defined is None) != (
                not attributes):
            return None
        if not attributes:
            return []
        type_name = attributes[0].typeName
        if defined is not None and defined[0] != type_name:
            return None
    elif defined is None:
        return []
    else:
        type_name = defined[0]
    if type_name not in _TEXT_TYPES:
        return []
    entry = {"name": name, "base_name": name.rsplit(":", 1)[-1], "kind": 1, "text": "", "resolved": "",
             "written": "", "time_sampled": False, "sample_path": "", "anchored": ""}
    if type_name in _ASSET_TYPES:
        # Anchored to the layer of the strongest opinion, which must hold the value.
        if not attributes or not attributes[0].HasDefaultValue():
            return None
        return _plain_assets(attributes[0], type_name, entry)
    held = [prop for prop in attributes if prop.HasDefaultValue()]
    value = held[0].default if held else defined[1] if defined is not None else None
    if not isinstance(value, str):
        return []
    entry["text"] = value
    return [entry] if _names_file(entry) else []

def _plain_assets(prop, type_name, entry):
    """An asset value's entries as the stage resolves them, for paths that resolve the same in
    any context: relative to the layer or absolute, outside packages, without tokens."""
    value = prop.default
    if value is None or isinstance(value, Sdf.ValueBlock):
        return []
    if _in_package(prop.layer):
        return None
    written = [value] if type_name == Sdf.ValueTypeNames.Asset else list(value)
    entries = []
    for asset in written:
        path = asset.path or ""
        if path and (_searched(path) or any(mark in path for mark in "[`") or "<" in path and not _tiles_literal()):
            return None
        anchored = Sdf.ComputeAssetPathRelativeToLayer(prop.layer, path) if path else ""
        resolved = _outer(str(Ar.GetResolver().Resolve(anchored))) if anchored else ""
        if type_name == Sdf.ValueTypeNames.AssetArray and not (resolved or path):
            continue
        beside = _outer(anchored) if not resolved and path.startswith(("./", "../")) else ""
        entries.append(dict(entry, kind=2, resolved=resolved, written=path, anchored=beside))
    return entries

def _tiles_literal():
    """Whether the stage resolves a path naming UDIM tiles as any other path (the file of that
    very name), asked of the library once: a layer beside a tile, naming its tiles."""
    known = _LIBRARY.get("tiles_literal")
    if known is None:
        known = False  # where the probe cannot be made, the library tells each time
        try:
            folder = tempfile.mkdtemp()
        except OSError:
            folder = None
        try:
            if folder:
                with open(os.path.join(folder, "t.1001.exr"), "w"):
                    pass
                with open(os.path.join(folder, "probe.usda"), "w") as probe:
                    probe.write('#usda 1.0\ndef "P" {\n  asset a = @./t.<UDIM>.exr@\n}\n')
                stage = Usd.Stage.Open(os.path.join(folder, "probe.usda"))
                known = stage.GetPrimAtPath("/P").GetAttribute("a").Get().resolvedPath == ""
        except Exception:
            known = False
        finally:
            if folder:
                shutil.rmtree(folder, ignore_errors=True)
        _LIBRARY["tiles_literal"] = known
    return known

def _plain_walk(path, root, stack, choose):
    """The walk of a plain stack read from its layers; only prims whose asset values must be
    resolved in the stage's context are asked of a stage holding just them."""
    order, specs, names = _plain_tree(stack)
    records, asked = [], {}
    for prim_path in order:
        held = specs[prim_path]
        rec = {"path": prim_path, "has_variant_sets": False, "selections": [], "clip_asset_paths": [],
               "clip_manifest": "", "clip_set_paths": [], "specs": [], "attributes": []}
        rec["specs"] = [dict(place, items=[]) for _, place in held]
        if not _plain_attributes([spec for spec, _ in held], rec):
            asked[prim_path] = rec
        records.append(rec)
    searched_roots = set()
    if asked:
        mask = Usd.StagePopulationMask()
        for prim_path in asked:
            mask.Add(Sdf.Path(prim_path))
        stage = _stage(path, mask)
        for prim_path, rec in asked.items():
            if _attributes(stage.GetPrimAtPath(prim_path), rec, False)[0]:
                searched_roots.add(_root_of(prim_path))
    if _run["open"]:
        _run["times"][path] = (root.startTimeCode, root.endTimeCode)
    if _run["open"] and choose is None:
        _remember(path, {"names": names, "roots": set(names), "searched": searched_roots, "arcs": False,
                         "searched_subs": False, "stack": [layer.identifier for layer in stack], "errors": False,
                         "defined": _defined(stack)})
    return {"root_sublayers": list(_summary(root)["subs"]), "prims": records, "parent": "", "layout": None,
            "plain": True}

def _flags(stage):
    # Class arcs, internal references and relocates let a layer's opinions reach prims it does
    # not name; a sublayer found through the search paths depends on the root layer's place.
    arcs = searched_subs = False
    for layer in stage.GetUsedLayers(includeClipLayers=False):
        summary = _summary(layer)
        arcs = arcs or summary["arcs"]
        searched_subs = searched_subs or summary["searched_subs"]
    return arcs, searched_subs

def _over_time(stage):
    """Whether a prim of the stage can hold clips, and an attribute time samples."""
    summaries = [_summary(layer) for layer in stage.GetUsedLayers(includeClipLayers=False)]
    return {"clips": any(s["clips"] for s in summaries), "sampled": any(s["sampled"] for s in summaries)}

def _defined(layers):
    """For each root prim name, how many of the layers define it."""
    defined = {}
    for layer in layers:
        for name in _summary(layer)["roots"]:
            defined[name] = defined.get(name, 0) + 1
    return defined

def _facts(stage, searched_roots, flags):
    """What a walk leaves for the walks derived from it."""
    root = stage.GetPseudoRoot().GetPrimIndex().rootNode.layerStack
    names = _items(stage.GetPseudoRoot().GetPrimIndex().ComputePrimChildNames()[0])
    layers = stage.GetLayerStack(includeSessionLayers=False)
    defined = _defined(layers)
    return {"names": names, "roots": set(names), "searched": searched_roots, "arcs": flags[0],
            "searched_subs": flags[1], "stack": [layer.identifier for layer in layers],
            "errors": bool(root.localErrors), "defined": defined}

def _remember(path, facts):
    if not _run["open"]:
        return
    walks = _run["walks"]
    walks[path] = facts
    walks.move_to_end(path)
    while len(walks) > _KEPT_WALKS:
        walks.popitem(last=False)

def _derivable(path, parent):
    """Whether the stage of `path` is the parent's stage without the parent's root layer: the
    parent layer has this layer as its only sublayer, plainly, and nothing of it reaches prims
    it does not name. Returns the parent's walk and whether both lie in one directory."""
    known = _run["walks"].get(parent)
    if known is None or known["arcs"] or known["errors"]:
        return None
    upper, lower = _layer(parent), _layer(path)
    up, low = _summary(upper), _summary(lower)
    if len(up["subs"]) != 1 or not up["plain_offsets"] or _searched(up["subs"][0]):
        return None
    if up["timing"] != low["timing"] or up["global"] or low["global"]:
        return None
    stack = known["stack"]
    if len(stack) < 2 or stack[0] != upper.identifier or stack[1] != lower.identifier:
        return None
    same_dir = os.path.dirname(upper.realPath) == os.path.dirname(lower.realPath)
    if not same_dir and known["searched_subs"]:
        return None
    return known, same_dir

def _derive_unopened(known, renewed, defined):
    """The walk when no renewed root prim exists below the parent's root layer: the parent's own
    records without those the parent's layer adds. A root layer's prims are listed weakest layer
    first, each layer adding the names it brings, so the names of the stage below are the
    parent's without the added ones."""
    names = [name for name in known["names"] if name not in renewed]
    facts = dict(known, names=names, roots=set(names), stack=known["stack"][1:], defined=defined)
    return names, facts

def _derive(path, parent):
    """The walk of a stage derived from its parent's: root prims the parent's layer names (and,
    when the root layers lie in different directories, those whose paths were searched) are
    walked anew in a stage holding only them; the others are the parent's."""
    derivable = _derivable(path, parent)
    if derivable is None:
        return None
    known, same_dir = derivable
    up = _summary(_layer(parent))
    renewed = set(up["roots"])
    if not same_dir:
        renewed |= known["searched"]
    defined = dict(known["defined"])
    for name in up["roots"]:
        defined[name] -= 1
        if not defined[name]:
            del defined[name]
    lasting = any(name in defined for name in renewed)
    fresh, searched_roots = {}, set()
    if (lasting or up["ordered"]) and _plain_stack(_layer(path), _SHORT_STACK) is not None:
        return None  # reading a short plain stack costs less than composing its renewed prims
    if lasting or up["ordered"]:
        mask = Usd.StagePopulationMask()
        for name in renewed:
            mask.Add(Sdf.Path.absoluteRootPath.AppendChild(name))
        stage = _stage(path, mask)
        over_time, clipped = _over_time(stage), set()
        for prim in stage.TraverseAll():
            rec, _, searched, _ = _record(prim, None, over_time, clipped)
            root = _root_of(rec["path"])
            fresh.setdefault(root, []).append(rec)
            if searched:
                searched_roots.add(root)
        flags = _flags(stage)
        facts = _facts(stage, searched_roots, (flags[0] or known["arcs"], flags[1] or known["searched_subs"]))
        names = facts["names"]
    else:
        # Every name left is a root prim of the parent's walk: the names are the layout.
        names, facts = _derive_unopened(known, renewed, defined)
        facts["searched"] = known["searched"] & facts["roots"]
        _remember(path, facts)
        return _derived_walk(path, parent, [], names)
    layout, records = [], []
    for name in names:
        if name in renewed:
            records.extend(fresh.get(name, []))
            layout.append(len(fresh.get(name, [])))
        elif name in known["roots"]:
            layout.append(name)
            if name in known["searched"]:
                searched_roots.add(name)
        else:
            return None
    facts["searched"] = searched_roots
    _remember(path, facts)
    return _derived_walk(path, parent, records, layout)

def _derived_walk(path, parent, records, layout):
    return {"root_sublayers": _items(_layer(path).subLayerPaths), "prims": records,
            "parent": parent, "layout": layout}

# What a referencing prim's own spec may hold for its subtree to be the referenced stage's.
_PLACING_KEYS = frozenset(("specifier", "typeName", "references", "payload", "kind"))

def _placing(prim, rec, own_layers):
    """The arc by which the prim's subtree is the stage of the arc's layers (with the prim's path
    mapped), as far as the prim tells, or None. So it is when the prim's only opinion of the
    stage's own layers is the one spec that places the asset: one reference or payload to a root
    prim, without a shift in time, and nothing else that changes what lies below."""
    # An instance's subtree is its prototype's, not traversed: the referenced stage may hold
    # its root prim as no instance, without an arc of its own.
    if len(rec["specs"]) < 2 or not rec["specs"][0]["items"] or prim.IsInstance():
        return None
    stack = prim.GetPrimStack()
    own = stack[0]
    if own.layer.identifier not in own_layers or any(spec.layer.identifier in own_layers for spec in stack[1:]):
        return None
    if not set(own.ListInfoKeys()) <= _PLACING_KEYS or own.properties or own.nameChildren or own.variantSets:
        return None
    if own.typeName and own.typeName != next((spec.typeName for spec in stack[1:] if spec.typeName), ""):
        return None
    arcs = prim.GetPrimIndex().rootNode.children
    if len(arcs) != 1:
        return None
    arc = arcs[0]
    if arc.arcType not in (Pcp.ArcTypeReference, Pcp.ArcTypePayload) or arc.path.pathElementCount != 1 or not (
            arc.path.IsPrimPath() and arc.mapToRoot.timeOffset.IsIdentity()):
        return None
    return arc

def _placed_alike(layers, name):
    """Whether the stage of these layers is the subtree of any prim placing its root prim `name`:
    they hold no other root prim, and read alike from any stage (no sublayer found through the
    search paths, no expression variables)."""
    for layer in layers:
        summary = _summary(layer)
        if summary["global"] or summary["searched_subs"] or not summary["roots"] <= {name}:
            return False
    return bool(layers)

class _Placements:
    """Gathers, while a stage is walked, the walks of the layers its prims reference where they
    are the subtrees of the referencing prims (`_placing`), for the walks of those layers."""

    def __init__(self, stage, arcs):
        layers = stage.GetLayerStack(includeSessionLayers=True)
        self.own_layers = {layer.identifier for layer in layers}
        # Class arcs reach across references; expression variables of the stage reach into them.
        self.on = not arcs and not any(_summary(layer)["global"] for layer in layers)
        self.current = None
        # Layers placed again are judged once: an asset may be placed thousands of times.
        self.unlike = set()

    def add(self, prim, rec, searched, under_clips):
        """Takes the next prim of the traversal, whether a path of it was found through the
        search paths (which resolve from the stage's root layer), and whether clips reach it."""
        if not self.on:
            return
        current = self.current
        if current is not None and rec["path"].startswith(current["prefix"]):
            kept = current["records"]
            if kept is not None and (searched or _run["referenced_records"] + len(kept) >= _KEPT_REFERENCED):
                current["records"] = None
            elif kept is not None:
                kept.append(rec)
            return
        self.close()
        arc = None if under_clips else _placing(prim, rec, self.own_layers)
        if arc is None:
            return
        root, name = arc.layerStack.identifier.rootLayer, arc.path.name
        if root is None or root.identifier in _run["referenced"] or (root.identifier, name) in self.unlike:
            return
        if not _placed_alike(_items(arc.layerStack.layers), name):
            self.unlike.add((root.identifier, name))
            return
        self.current = {"layer": root, "name": name, "prefix": rec["path"] + "/",
                        "records": None if searched else [rec]}

    def close(self):
        current, self.current = self.current, None
        if current is None or current["records"] is None or current["layer"].identifier in _run["referenced"]:
            return
        _run["referenced"][current["layer"].identifier] = current
        _run["referenced_records"] += len(current["records"])

def _referenced(path):
    """The walk of a layer given by the walk of a stage that references it (`_Placements`)."""
    if not _run["referenced"]:
        return None
    layer = _layer(path)
    placed = _run["referenced"].pop(layer.identifier, None)
    if placed is None:
        return None
    _run["referenced_records"] -= len(placed["records"])
    root, cut = "/" + placed["name"], len(placed["prefix"]) - 1
    prims = [dict(rec, path=root + rec["path"][cut:]) for rec in placed["records"]]
    # The referencing spec is the strongest of the prim's specs, and the stage of the layer
    # does not hold it.
    prims[0]["specs"] = prims[0]["specs"][1:]
    _run["times"][path] = (layer.startTimeCode, layer.endTimeCode)
    return {"root_sublayers": list(_summary(layer)["subs"]), "prims": prims, "parent": "", "layout": None,
            "placed": True}

def walk_stage(path, choose, parent, full=False):
    """Every prim's record, in traversal order, with the chosen variant selections applied. With
    no selections to apply (`choose` None) the walk may be derived from the walk of `parent`;
    a plain stack is read from its layers. `full` asks the library for every prim."""
    if choose is None and parent and not full:
        derived = _derive(path, parent)
        if derived is not None:
            return derived
    if choose is None and not full:
        given = _referenced(path)
        if given is not None:
            return given
    if not full:
        root = _layer(path)
        held = _composed_layers(root)
        stack = _plain_stack(root)
        if stack is not None:
            return _plain_walk(path, root, stack, choose)
        del held
    stage = _stage(path)
    if _run["open"]:
        _run["times"][path] = _times(stage)
    # Selections go to the session layer: the root layer stays as read, for other stages.
    stage.SetEditTarget(Usd.EditTarget(stage.GetSessionLayer()))
    done, records, searched_roots, clipped = set(), [], set(), set()
    reused = False
    flags = _flags(stage)
    placements = _Placements(stage, flags[0]) if choose is None and not full and _run["open"] else None
    # A selection changes what lies below the prim: walk again, skipping prims already seen.
    again = True
    while again:
        again = False
        over_time = _over_time(stage)  # a selection may bring layers in
        for prim in list(stage.TraverseAll()):
            key = prim.GetPrimPath().pathString
            if key in done:
                continue
            done.add(key)
            rec, changed, searched, given = _record(prim, choose, over_time, clipped, not full)
            reused = reused or given
            records.append(rec)
            if placements is not None:
                placements.add(prim, rec, searched, over_time["clips"] and key.rsplit("/", 1)[0] in clipped)
            if searched:
                searched_roots.add(_root_of(key))
            if changed:
                again = True
                break
    if placements is not None:
        placements.close()
    if choose is None and _run["open"]:
        _remember(path, _facts(stage, searched_roots, flags))
    walk = {"root_sublayers": _items(stage.GetRootLayer().subLayerPaths), "prims": records, "parent": "",
            "layout": None}
    if reused:
        walk["reused"] = True
    return walk


def _layer_refusal(path):
    """Why a layer file must not be opened; replaced by the analysis's own test when loaded."""
    raise RuntimeError("the layer test was not given to this module")
