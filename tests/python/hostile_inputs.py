"""Hostile inputs, made small at run time: scenes and the files they name, shaped to crash, hang
or exhaust a reader that trusts them. Each maker writes into a folder and returns the file to
analyse. The tests run every one; bench/hostile.py prints what each costs; bench/fuzz.sh takes
them as seeds."""

import json
import os

import hipwrite


def _scene(root, nodes, name="shot.hip"):
    path = root / name
    hipwrite.write_cpio(path, {"version": "20.0.547", "nodes": [{"path": "/obj", "type": "obj"}] + nodes})
    return path


def _file_node(root, value, name="read"):
    return _scene(root, [{"path": "/obj/geo1", "type": "geo"},
                         {"path": "/obj/geo1/" + name, "type": "file", "parms": {"file": value}}])


def nested_if(root):
    """An hscript block of 20,000 nested if statements."""
    code = "{ " + "if (1) " * 20000 + "return 1; }"
    return _scene(root, [{"path": "/obj/deep", "type": "geo", "parms": {"tx": {"expr": code}}}])


def python_references(root):
    """Ten parameters whose Python expressions read each other inside 330 parentheses each."""
    parms = {"p%d" % i: {"expr": "(" * 330 + "ch('p%d')" % (i + 1) + ")" * 330, "language": "python"}
             for i in range(10)}
    parms["p10"] = 1
    return _scene(root, [{"path": "/obj/refs", "type": "geo", "parms": parms}])


def doubling_references(root):
    """Each parameter reads the next one twice: without a memo the cost doubles per level."""
    parms = {"p%d" % i: {"expr": 'ch("p%d") + ch("p%d")' % (i + 1, i + 1)} for i in range(60)}
    parms["p60"] = 1
    return _scene(root, [{"path": "/obj/twice", "type": "geo", "parms": parms}])


def growing_values(root):
    """Short expressions whose values double or multiply until they would fill memory."""
    hscript = '{ string x = "abcdefgh"; ' + "x += x; " * 48 + "return x; }"
    python = "'a'" + ".replace('a', 'aaaaaaaaaa')" * 14
    nested = "abc"
    for _ in range(40):
        nested = 'strreplace(%s, "a", "aaaaaaaa")' % nested
    return _scene(root, [{"path": "/obj/grow", "type": "geo", "parms": {
        "hs": {"expr": hscript, "text": True},
        "py": {"expr": python, "text": True, "language": "python"},
        "sr": {"expr": nested, "text": True}}}])


def deep_wildcard(root):
    """A path of 50,000 wildcard components under a folder that does not exist."""
    return _file_node(root, "/nonexistent" + "/*" * 50000 + "/x.png")


def looping_wildcard(root):
    """Seven wildcard levels over a folder whose entries link back to it."""
    loop = root / "loop"
    loop.mkdir()
    for name in "abcdefgh":
        os.symlink(".", str(loop / name))
    return _file_node(root, "$HIP/loop" + "/*" * 7 + "/x.png")


def escaped_backticks(root):
    """Backticks escaped as the host reads them: a literal part of the file name."""
    (root / "take`2`.png").write_text("image")
    return _file_node(root, "$HIP/take\\`2\\`.png")


def control_characters(root):
    """A value holding a line break and a section header of the list file."""
    return _file_node(root, "$HIP/a\r\n[asset]\nb.png")


def _files_scene(root, values):
    return _scene(root, [{"path": "/obj/n%d" % i, "type": "null", "parms": {"file": v}}
                         for i, v in enumerate(values)])


def fifo_file(name):
    """A nested file that is a FIFO: an open would wait for a writer forever."""
    def make(root):
        os.mkfifo(str(root / name))
        return _files_scene(root, ["$HIP/" + name])
    return make


def fifo_list(root):
    """An image list named by a V-Ray scene that is a FIFO."""
    os.mkfifo(str(root / "seq.ifl"))
    (root / "y.vrscene").write_text('BitmapBuffer tex {\n  file="%s";\n}\n' % (root / "seq.ifl"))
    return _files_scene(root, ["$HIP/y.vrscene"])


def fifo_sublayer(root):
    """A USD layer whose sublayer is a FIFO: the library would open it while composing."""
    os.mkfifo(str(root / "sub.usda"))
    (root / "top.usda").write_text('#usda 1.0\n(\n    subLayers = [@./sub.usda@]\n)\ndef "A" {}\n')
    return _files_scene(root, ["$HIP/top.usda"])


def device_links(root):
    """Redshift proxies that are links to endless devices."""
    os.symlink("/dev/zero", str(root / "zero.rs"))
    os.symlink("/dev/urandom", str(root / "random.rs"))
    return _files_scene(root, ["$HIP/zero.rs", "$HIP/random.rs"])


def long_vrscene_line(root, size=40 << 20):
    """A V-Ray scene whose first line is longer than any line a reader keeps, then two textures."""
    path = root / "big.vrscene"
    with open(path, "wb") as f:
        f.write(b"// ")
        f.seek(size)
        f.write(b'\nBitmapBuffer b {\n  file="%s";\n}\nBitmapBuffer c {\n  file="%s";\n}\n' % (
            str(root / "b.png").encode(), str(root / "c.png").encode()))
    (root / "b.png").write_text("b")
    return _files_scene(root, ["$HIP/big.vrscene"])


def deep_usd(root):
    """A USD layer of 20,000 nested prims."""
    depth = 20000
    text = "#usda 1.0\n" + "".join('def "p" {\n' for _ in range(depth)) + "}\n" * depth
    (root / "deep.usda").write_text(text)
    return _files_scene(root, ["$HIP/deep.usda"])


def deep_task_json(root):
    """A task file nested 50,000 levels deep, beside a plain scene."""
    return _file_node(root, "$HIP/tex.png"), "[" * 50000 + "]" * 50000


def huge_task_integers(root):
    """A task file holding integers beyond 64 bits, which must come back exactly."""
    task = {"task_info": {"platform": "2", "channel": "1", "big": 123456789012345678901234567890,
                          "negative": -98765432109876543210},
            "software_config": {"cg_version": "20.0", "plugins": {}}}
    return _file_node(root, "$HIP/tex.png"), json.dumps(task)


def self_containing_asset(root):
    """A locked asset whose definition, embedded in the scene, contains an instance of itself."""
    import gzip
    contents = hipwrite.cpio([("node_type", "Sop"), ("hdaroot.init", "type = loop\nmatchesdef = 0\n"),
                              ("hdaroot/again.init", "type = loop\nmatchesdef = 1\n")])
    definition = hipwrite.indx([("DialogScript", "{\n}\n"), ("Contents.gz", gzip.compress(contents))])
    library = hipwrite.indx([("INDEX_SECTION", b""), ("Sop/loop", definition)])
    path = root / "shot.hip"
    hipwrite.write_cpio(path, {"version": "20.0.547", "sections": [(".defotl", library)], "nodes": [
        {"path": "/obj", "type": "obj"}, {"path": "/obj/geo1", "type": "geo"},
        {"path": "/obj/geo1/loop", "type": "loop", "matchesdef": True}]})
    return path


def prepare(maker, root, task):
    """Makes the case in `root` with an installation folder and a result folder holding the
    task file (the case's own, else `task`); returns the scene and the result folder."""
    (root / "hfs").mkdir()
    made = maker(root)
    scene, text = made if isinstance(made, tuple) else (made, json.dumps(task))
    out = root / "out"
    out.mkdir()
    (out / "task.json").write_text(text)
    return scene, out


# Name, maker. A maker returns the scene, or the scene and the text of task.json.
CASES = [
    ("nested if statements", nested_if),
    ("Python references in parentheses", python_references),
    ("doubling references", doubling_references),
    ("growing values", growing_values),
    ("deep wildcard", deep_wildcard),
    ("looping wildcard", looping_wildcard),
    ("escaped backticks", escaped_backticks),
    ("control characters in a path", control_characters),
    ("FIFO .ass", fifo_file("x.ass")),
    ("FIFO .vrscene", fifo_file("x.vrscene")),
    ("FIFO .rs", fifo_file("x.rs")),
    ("FIFO .bgeo", fifo_file("x.bgeo")),
    ("FIFO .usda", fifo_file("x.usda")),
    ("FIFO image list of a V-Ray scene", fifo_list),
    ("FIFO USD sublayer", fifo_sublayer),
    ("links to devices", device_links),
    ("long V-Ray scene line", long_vrscene_line),
    ("deep USD layer", deep_usd),
    ("deep task file", deep_task_json),
    ("huge task integers", huge_task_integers),
    ("asset containing itself", self_containing_asset),
]
