"""Writes a scene description (the one the stand-in host reads) as a real .hip file, in the
archive form or the text form, so that the same scene runs through both hosts."""

import base64
import os

ROOTS = ("obj", "out", "ch", "img", "mat", "shop", "stage", "tasks", "vex")


def _token(value):
    if isinstance(value, bool):
        return '"on"' if value else '"off"'
    if isinstance(value, (int, float)):
        return repr(value)
    text = str(value).replace("\\", "\\\\").replace('"', '\\"')
    if text == "" or any(c.isspace() for c in text) or text.startswith("[") and len(text) > 1 and text[1] == " ":
        return '"%s"' % text
    return text


def _sections(description):
    version = description.get("version", "19.5.605")
    fps = description.get("fps", 24)
    start, end = description.get("frames", (1, 240))
    sections = [(".start", "fplayback -i on -r off\ntcur 0\nfps %s\ntset %r %r\nframe %d %d\n" % (
        fps, (start - 1) / fps, end / fps, start, end))]
    variables = dict(description.get("variables", {}))
    variables["_HIP_SAVEVERSION"] = version
    sections.append((".variables", "".join("set -g %s = '%s'\n" % kv for kv in sorted(variables.items()))))
    nodes = {n["path"]: n for n in description.get("nodes", [])}
    locked_parents = {os.path.dirname(n["path"]) for n in nodes.values() if n.get("locked_hda")}
    for root in ROOTS:
        if "/" + root not in nodes:
            nodes["/" + root] = {"path": "/" + root, "type": root}
    for path in sorted(nodes, key=lambda p: (p.count("/"), p)):
        node = nodes[path]
        name = path[1:]
        if path.count("/") > 1:
            sections.append((name + ".init", "type = %s\nmatchesdef = %d\n" % (
                node.get("type", "null"), 1 if path in locked_parents or node.get("matchesdef") else 0)))
        inputs = "".join("%d \t%s 0 1\n" % (i, os.path.basename(src)) for i, src in enumerate(node.get("inputs", [])))
        sections.append((name + ".def", "comment \"\"\nflags =  lock off bypass %s display on\ninputs\n{\n%s}\n"
                         "exprlanguage hscript\nend\n" % ("on" if node.get("bypassed") else "off", inputs)))
        lines, channels = [], []
        for parm, spec in node.get("parms", {}).items():
            spec = spec if isinstance(spec, dict) else {"value": spec}
            locks = 1 if spec.get("locked") else 0
            value = spec.get("value", "")
            if "expr" in spec:
                # A channel holding an expression in the given language.
                code = spec["expr"].replace("\\", "\\\\").replace('"', '\\"')
                lines.append("%s\t[ 0\tlocks=%d ]\t(\t[ %s\t0 ] \t)" % (parm, locks, parm))
                channels.append("    channel %s {\n      %s\n      segment { length = 0 "
                                "expr = \"%s\" language = %s }\n    }\n" % (
                                    parm, "defaultString = \\\"\\\"" if spec.get("text") else "default = 0",
                                    code, spec.get("language", "hscript")))
            elif "error" in spec:
                # What cannot be evaluated without the host: a Python expression that runs code.
                lines.append("%s\t[ 0\tlocks=%d ]\t(\t[ %s\t0 ] \t)" % (parm, locks, parm))
                channels.append("    channel %s {\n      defaultString = \\\"\\\"\n      segment { length = 0 "
                                "expr = \"__import__('os').getcwd()\" language = python }\n    }\n" % parm)
            else:
                lines.append("%s\t[ 0\tlocks=%d ]\t(\t%s\t)" % (parm, locks, _token(value)))
        sections.append((name + ".parm", "{\nversion 0.8\n" + "".join(l + "\n" for l in lines) + "}\n"))
        if channels:
            sections.append((name + ".chn", "{\n" + "".join(channels) + "  }\n"))
    return sections + list(description.get("sections", []))


def cpio(members):
    """The archive form of (name, text or bytes) members."""
    out = bytearray()
    for name, body in list(members) + [("TRAILER!!!", b"")]:
        data = body.encode("utf-8") if isinstance(body, str) else body
        out.extend(b"070707000001000000000666000000000000000001000000%011o%06o%011o" % (
            0, len(name.encode()) + 1, len(data)))
        out.extend(name.encode() + b"\0" + data)
    return bytes(out)


def indx(entries, description=b""):
    """The index-and-data archive of asset libraries: (name, bytes) entries."""
    import struct
    data, index = b"", b""
    for name, body in entries:
        body = body.encode("utf-8") if isinstance(body, str) else body
        index += struct.pack(">I", len(name)) + name.encode() + struct.pack(">III", len(data), len(body), 0)
        data += body
    return b"INDX" + struct.pack(">II", 0, len(description)) + description + struct.pack(">I", len(entries)) \
        + index + data


def write_cpio(path, description):
    with open(path, "wb") as f:
        f.write(cpio(_sections(description)))


def write_text(path, description):
    boundary = "HOUDINIMIMEBOUNDARY0xD3ADD339-0x00000F49-0x56B122C9-0x00000001HOUDINIMIMEBOUNDARY"
    parts = ["MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"%s\"\n\n" % boundary]
    for name, body in _sections(description) + [(".blob", None)]:
        parts.append("--%s\nContent-Disposition: attachment; filename=\"%s\"\n" % (boundary, name))
        if body is None:
            parts.append("Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n%s\n\n"
                         % base64.b64encode(b"\x00\x01binary").decode())
        else:
            parts.append("Content-Type: text/plain\n\n%s\n" % body)
    parts.append("--%s--\n" % boundary)
    with open(path, "w", encoding="utf-8") as f:
        f.write("".join(parts))
