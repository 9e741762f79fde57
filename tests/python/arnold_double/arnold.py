"""A stand-in for the renderer's scripting binding, for tests: it reads node types and their
"filename" lines, and records the calls made to it."""

import os

AI_NODE_ALL = 0xFFFF
AI_LOG_ALL = 0x7FFFFFFF
calls = []
version = os.environ.get("ARNOLD_DOUBLE_VERSION", "7.10.0.0")


class _Universe:
    def __init__(self):
        self.nodes = []


_default = _Universe()


def AiBegin():
    calls.append("AiBegin")


def AiEnd():
    calls.append("AiEnd")


def AiGetVersionString():
    return version


def AiUniverse():
    calls.append("AiUniverse")
    return _Universe()


def _load(universe, path):
    node = None
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 1 and words[0] not in ("{", "}"):
                node = {"type": words[0], "filename": ""}
                universe.nodes.append(node)
            elif len(words) == 2 and words[0] == "filename" and node is not None:
                node["filename"] = words[1].strip('"')


def AiSceneLoad(universe, path, params):
    calls.append("AiSceneLoad")
    _load(universe, path)


def AiMsgSetConsoleFlags(*args):
    if len(args) == 1:
        raise TypeError("AiMsgSetConsoleFlags() needs a universe")
    calls.append("AiMsgSetConsoleFlags")


def AiASSLoad(*args):
    calls.append("AiASSLoad")
    universe, path = (args[0], args[1]) if len(args) == 3 else (_default, args[0])
    _load(universe, path)


def AiUniverseGetNodeIterator(*args):
    universe = args[0] if len(args) == 2 else _default
    return iter(list(universe.nodes) + [None])


class _Peek:
    pass


def AiNodeIteratorFinished(iterator):
    if not hasattr(iterator, "_next"):
        pass
    return _peek(iterator) is None


_peeked = {}


def _peek(iterator):
    key = id(iterator)
    if key not in _peeked:
        _peeked[key] = next(iterator, None)
    return _peeked[key]


def AiNodeIteratorGetNext(iterator):
    node = _peek(iterator)
    del _peeked[id(iterator)]
    return node


def AiNodeIs(node, type_name):
    return node["type"] == type_name


def AiNodeGetStr(node, name):
    return node.get(name, "")


def AiNodeIteratorDestroy(iterator):
    calls.append("AiNodeIteratorDestroy")
