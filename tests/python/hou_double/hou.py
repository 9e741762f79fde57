"""A stand-in for the host application's scripting module, for tests.

It offers the operations the analysis uses. A scene is a JSON description stored in the file
that `hipFile.load` is given, after any "set -g NAME = 'value'" header lines (the save-version
line of a real scene):

    {"version": "19.5.605",
     "variables": {"JOB": "/jobs/show"},
     "load_warning": "text",            # load, then raise LoadWarning
     "load_error": "text",              # raise OperationFailed instead of loading
     "raise": {"applicationVersionString": "text" | {"exit": 556}},
     "nodes": [{"path": "/obj/geo1", "type": "geo", "bypassed": false,
                "library": "/otls/x.hda", "inputs": ["/obj/other"],
                "parms": {"file": {"value": "$HIP/a.bgeo", "eval": "/p/a.bgeo",
                                   "locked": false, "menu": ["A", "B"],
                                   "keyframed": false, "default": "",
                                   "error": "text"}}}]}

Parameter text is evaluated the way the host does for what scenes use in file paths:
variables ($HIP, $HIPNAME, $HIPFILE, $JOB, $F, $FF, $F4, ${NAME}, the scene's variables and
the environment) and the backtick functions chs/ch and padzero. "eval" overrides the
evaluated value while the raw text is the saved one.
"""

import json as _json
import os as _os
import re as _re


class Error(Exception):
    def instanceMessage(self):
        return str(self.args[0]) if self.args else ""


class OperationFailed(Error):
    pass


class LoadWarning(Error):
    pass


class _UpdateMode:
    Manual = "Manual"
    OnMouseUp = "OnMouseUp"
    AutoUpdate = "AutoUpdate"


updateMode = _UpdateMode()

_state = {"scene": None, "path": "untitled.hip", "frame": 1.0, "simulation": True,
          "update_mode": "AutoUpdate", "log": []}


def _scene():
    return _state["scene"] or {"nodes": []}


def _maybe_raise(name):
    spec = _scene().get("raise", {}).get(name)
    if spec is None:
        return
    if isinstance(spec, dict) and "exit" in spec:
        raise SystemExit(spec["exit"])
    raise OperationFailed(spec)


class _NodeType:
    def __init__(self, name, library):
        self._name = name
        self._library = library

    def name(self):
        return self._name

    def definition(self):
        if self._library is None:
            return None
        library = self._library

        class _Definition:
            def libraryFilePath(self):
                return library
        return _Definition()


def _variables():
    path = _state["path"]
    name = _os.path.basename(path)
    found = {"HIP": _os.path.dirname(path), "HIPFILE": path,
             "HIPNAME": name.rsplit(".", 1)[0] if "." in name else name}
    found.update(_scene().get("variables", {}))
    return found


_VARIABLE = _re.compile(r"\$\{(\w+)\}|\$(\w+)")
_BACKTICK = _re.compile(r"`([^`]*)`")
_CHS = _re.compile(r'^\s*chs?\(\s*"([^"]+)"\s*\)\s*$')
_PADZERO = _re.compile(r"^\s*padzero\(\s*(\d+)\s*,\s*(.+?)\s*\)\s*$")


def _expand(text, parm, depth=0):
    if depth > 32:
        raise OperationFailed("recursive reference in " + parm.path())
    frame = int(round(_state["frame"]))

    def variable(match):
        name = match.group(1) or match.group(2)
        if name in ("F", "FF"):
            return str(frame)
        if _re.match(r"^F\d+$", name):
            return str(frame).zfill(int(name[1:]))
        value = _variables().get(name, _os.environ.get(name))
        return match.group(0) if value is None else str(value)

    def backtick(match):
        expression = match.group(1)
        reference = _CHS.match(expression)
        if reference:
            target = parm._resolve(reference.group(1))
            return "" if target is None else str(target._eval(depth + 1))
        padded = _PADZERO.match(expression)
        if padded:
            return str(int(float(_expand(padded.group(2), parm, depth + 1)))).zfill(int(padded.group(1)))
        return match.group(0)

    return _VARIABLE.sub(variable, _BACKTICK.sub(backtick, text))


class Parm:
    def __init__(self, node, name, spec):
        self._node = node
        self._name = name
        self._spec = spec if isinstance(spec, dict) else {"value": spec}
        self._saved = self._spec.get("value")
        if "default" not in self._spec:
            value = self._spec.get("value")
            self._spec["default"] = "" if isinstance(value, str) else 0

    def _resolve(self, path):
        if not path.startswith("/"):
            path = self._node.path() + "/" + path
        head, name = path.rsplit("/", 1)
        owner = node(_os.path.normpath(head))
        return None if owner is None else owner.parm(name)

    def _eval(self, depth=0):
        if "error" in self._spec:
            raise OperationFailed(self._spec["error"])
        value = self._spec.get("value")
        if "eval" in self._spec and value == self._saved:
            return self._spec["eval"]
        if isinstance(value, str):
            return _expand(value, self, depth)
        return value

    def eval(self):
        return self._eval()

    def evalAsString(self):
        return str(self.eval())

    def evalAsNode(self):
        return node(str(self.eval()))

    def unexpandedString(self):
        if self._spec.get("keyframed"):
            raise OperationFailed("The parameter is animated: " + self.path())
        value = self._spec.get("value", "")
        return value if isinstance(value, str) else str(value)

    def set(self, value):
        self._spec["value"] = value

    def isLocked(self):
        return bool(self._spec.get("locked", False))

    def lock(self, on):
        self._spec["locked"] = bool(on)

    def deleteAllKeyframes(self):
        self._spec["keyframed"] = False

    def revertToDefaults(self):
        self._spec["value"] = self._spec["default"]

    def getReferencedParm(self):
        value = self._spec.get("value")
        if isinstance(value, str):
            whole = _re.match(r"^`([^`]*)`$", value)
            reference = whole and _CHS.match(whole.group(1))
            if reference:
                target = self._resolve(reference.group(1))
                if target is not None:
                    return target
        return self

    def menuLabels(self):
        return tuple(self._spec.get("menu", ()))

    def path(self):
        return self._node.path() + "/" + self._name

    def name(self):
        return self._name

    def node(self):
        return self._node

    def __repr__(self):
        return "<hou.Parm %s in %s>" % (self._name, self._node.path())


class Node:
    def __init__(self, spec):
        self._spec = spec
        self._parms = {name: Parm(self, name, p) for name, p in spec.get("parms", {}).items()
                       if not isinstance(p, (list, tuple)) and not isinstance(p, dict) or
                       isinstance(p, dict) and not isinstance(p.get("value"), (list, tuple))}

    def path(self):
        return self._spec["path"]

    def name(self):
        return self.path().rstrip("/").rsplit("/", 1)[-1]

    def type(self):
        return _NodeType(self._spec.get("type", "subnet"), self._spec.get("library"))

    def allSubChildren(self):
        prefix = self.path().rstrip("/") + "/"
        return tuple(n for n in _nodes() if n.path().startswith(prefix))

    def parms(self):
        return tuple(self._parms.values())

    def parm(self, name):
        return self._parms.get(name)

    def parmTuple(self, name):
        spec = self._spec.get("parms", {}).get(name)
        value = spec.get("value") if isinstance(spec, dict) else spec
        if not isinstance(value, (list, tuple)):
            return None

        class _Tuple:
            def name(self):
                return name

            def eval(self):
                return tuple(value)
        return _Tuple()

    def evalParm(self, name):
        p = self.parm(name)
        if p is None and self.parmTuple(name) is not None:
            return self.parmTuple(name).eval()
        if p is None:
            raise OperationFailed("Invalid parameter name: " + name)
        return p.eval()

    def isBypassed(self):
        return bool(self._spec.get("bypassed", False))

    def isInsideLockedHDA(self):
        return bool(self._spec.get("locked_hda", False))

    def inputAncestors(self):
        found = []
        todo = list(self._spec.get("inputs", []))
        while todo:
            n = node(todo.pop(0))
            if n is not None and n not in found:
                found.append(n)
                todo.extend(n._spec.get("inputs", []))
        return tuple(found)

    def parent(self):
        if self.path() == "/":
            return None
        head = self.path().rsplit("/", 1)[0]
        return node(head or "/")

    def geometry(self):
        return None

    def stage(self):
        return None

    def allowEditingOfContents(self):
        pass

    def setSelected(self, on, clear_all_selected=False):
        self._spec["selected"] = on

    def __eq__(self, other):
        return isinstance(other, Node) and other.path() == self.path()

    def __hash__(self):
        return hash(self.path())


def _nodes():
    scene = _state["scene"]
    if scene is None:
        return []
    if "_objects" not in scene:
        scene["_objects"] = [Node(spec) for spec in scene.get("nodes", [])]
        # Looked up by path as the host does, not by going through every node; the first node
        # of a path is the one found.
        by_path = {}
        for n in scene["_objects"]:
            by_path.setdefault(n.path(), n)
        scene["_by_path"] = by_path
    return scene["_objects"]


def node(path):
    if path and path.startswith("/"):
        path = _os.path.normpath(path).replace("\\", "/")
        if path.startswith("//"):
            path = path[1:]
    if path == "/":
        return Node({"path": "/", "type": "root"})
    _nodes()
    scene = _state["scene"]
    return scene["_by_path"].get(path) if scene is not None else None


class _HipFile:
    def load(self, path, suppress_save_prompt=False, ignore_load_warnings=False):
        _state["log"].append("load " + path)
        if not _os.path.exists(path):
            raise OperationFailed("Unable to open file: " + path)
        with open(path, "r", encoding="utf-8") as f:
            text = f.read()
        header, brace, body = text.partition("{")
        scene = _json.loads(brace + body) if brace else {"nodes": []}
        saved = _re.search(r"_HIP_SAVEVERSION = '([^']*)'", header)
        if saved and "version" not in scene:
            scene["version"] = saved.group(1)
        if "load_error" in scene:
            raise OperationFailed(scene["load_error"])
        _state["scene"] = scene
        # The host keeps the scene's location absolute, whatever path it was loaded by.
        _state["path"] = _os.path.abspath(path)
        if "load_warning" in scene:
            raise LoadWarning(scene["load_warning"])

    def path(self):
        return _state["path"]


hipFile = _HipFile()


def setSimulationEnabled(on):
    _state["simulation"] = bool(on)
    _state["log"].append("simulation %s" % bool(on))


def setUpdateMode(mode):
    _state["update_mode"] = mode
    _state["log"].append("update " + str(mode))


def setFrame(frame):
    _state["frame"] = float(frame)


def frame():
    return _state["frame"]


def hscript(command):
    _state["log"].append("hscript " + command)
    return ("", "")


def getenv(name, default_value=None):
    return _variables().get(name, _os.environ.get(name, default_value))


def applicationVersionString():
    _maybe_raise("applicationVersionString")
    return _scene().get("version", "19.5.605")


def applicationVersion():
    return tuple(int(part) for part in applicationVersionString().split("."))


class _Playbar:
    def frameRange(self):
        return tuple(float(f) for f in _scene().get("frames", (1, 240)))


playbar = _Playbar()


class Geometry:
    def loadFromFile(self, path):
        raise OperationFailed("the test host reads no geometry: " + path)
