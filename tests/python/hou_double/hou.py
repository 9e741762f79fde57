"""A stand-in for the host application's scripting module, for tests.

It offers the operations the analysis uses. A scene is a JSON description stored in the file
that `hipFile.load` is given:

    {"version": "19.5.605",
     "variables": {"JOB": "/jobs/show"},
     "load_warning": "text",            # load, then raise LoadWarning
     "load_error": "text",              # raise OperationFailed instead of loading
     "raise": {"applicationVersionString": "text" | {"exit": 556}},
     "nodes": [{"path": "/obj/geo1", "type": "geo", "bypassed": false,
                "library": "/otls/x.hda", "inputs": ["/obj/other"],
                "parms": {"file": {"value": "$HIP/a.bgeo", "eval": "/p/a.bgeo",
                                   "locked": false, "menu": ["A", "B"],
                                   "error": "text"}}}]}
"""

import json as _json
import os as _os


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


class Parm:
    def __init__(self, node, name, spec):
        self._node = node
        self._name = name
        self._spec = spec if isinstance(spec, dict) else {"value": spec}

    def _check(self):
        if "error" in self._spec:
            raise OperationFailed(self._spec["error"])

    def eval(self):
        self._check()
        return self._spec.get("eval", self._spec.get("value"))

    def evalAsString(self):
        return str(self.eval())

    def evalAsNode(self):
        return node(str(self.eval()))

    def unexpandedString(self):
        return str(self._spec.get("value", ""))

    def set(self, value):
        self._spec["value"] = value
        self._spec.pop("eval", None)

    def isLocked(self):
        return bool(self._spec.get("locked", False))

    def lock(self, on):
        self._spec["locked"] = bool(on)

    def deleteAllKeyframes(self):
        self._spec.pop("keyframes", None)

    def revertToDefaults(self):
        if "default" in self._spec:
            self.set(self._spec["default"])

    def getReferencedParm(self):
        return self

    def menuLabels(self):
        return tuple(self._spec.get("menu", ()))

    def path(self):
        return self._node.path() + "/" + self._name

    def name(self):
        return self._name

    def node(self):
        return self._node


class Node:
    def __init__(self, spec):
        self._spec = spec
        self._parms = {name: Parm(self, name, p) for name, p in spec.get("parms", {}).items()}

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
        return None

    def evalParm(self, name):
        p = self.parm(name)
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
    return scene["_objects"]


def node(path):
    if path == "/":
        return Node({"path": "/", "type": "root"})
    for n in _nodes():
        if n.path() == path:
            return n
    return None


class _HipFile:
    def load(self, path, suppress_save_prompt=False, ignore_load_warnings=False):
        _state["log"].append("load " + path)
        if not _os.path.exists(path):
            raise OperationFailed("Unable to open file: " + path)
        with open(path, "r", encoding="utf-8") as f:
            scene = _json.load(f)
        if "load_error" in scene:
            raise OperationFailed(scene["load_error"])
        _state["scene"] = scene
        _state["path"] = path
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
    variables = _scene().get("variables", {})
    if name == "HIP":
        return _os.path.dirname(_state["path"])
    return variables.get(name, _os.environ.get(name, default_value))


def applicationVersionString():
    _maybe_raise("applicationVersionString")
    return _scene().get("version", "19.5.605")


def applicationVersion():
    return tuple(int(part) for part in applicationVersionString().split("."))


class Geometry:
    def loadFromFile(self, path):
        raise OperationFailed("the test host reads no geometry: " + path)
