"""Projects written the Windows way, analysed by the native command line built for Windows under
Wine: drive letters, shares of the Linux root (Z:), back slashes and mixed separators, names in
two letter cases, long paths, non-ASCII names, sequences, UDIM sets and nested files. The Linux
build of the same command line analyses the same project, and the results must agree once the
path forms are mapped."""

import re
import shutil
from pathlib import Path

from conftest import RESULTS, windows_path

DATA = Path(__file__).resolve().parents[1] / "data"
NAMES = ["中文贴图.png", "текстура.exr", "テクスチャ.tx", "ελληνικά.exr"]
# Nested folders that take one file's path past the classic limit of 260 characters.
LONG = "/".join(["a_folder_with_a_rather_long_name_%02d" % i for i in range(8)])


def make_project(root):
    files = ["tex/wall.%d.exr" % f for f in (1001, 1002, 1003)] + \
            ["tex/skin.%d.exr" % t for t in (1001, 1002)] + \
            ["tex/" + n for n in NAMES] + ["tex/rock.exr", "geo/sphere.bgeo", LONG + "/deep.exr"]
    for rel in files:
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(rel, encoding="utf-8")
    (root / "scene.ass").write_text("image\n{\n name rock\n filename tex/rock.exr\n}\n", encoding="utf-8")
    shutil.copy(DATA / "geo" / "laika_packed_disk.geo", root / "geo" / "cache.geo")
    assert len(str(root / LONG / "deep.exr")) > 260
    parms = {"seq": "$HIP/tex/wall.$F4.exr", "udim": "$HIP/tex/skin.<UDIM>.exr",
             "long": "$HIP/" + LONG + "/deep.exr", "ass": "$HIP/scene.ass", "gone": "$HIP/tex/missing.exr"}
    parms.update(("name_%d" % i, "$HIP/tex/" + n) for i, n in enumerate(NAMES))
    return [{"path": "/obj", "type": "obj"}, {"path": "/obj/shade", "type": "geo", "parms": parms},
            {"path": "/obj/shade/cache", "type": "file", "parms": {"file": "$HIP/geo/cache.geo"}}]


def as_linux(text, plain=False):
    """A Windows run's paths in the Linux run's form: Z: is the Linux root, and the scene's path,
    given with back slashes, keeps them (escaped in JSON, as they are in plain text)."""
    text = text.replace("Z:\\\\", "/").replace("Z:\\", "/").replace("Z:/", "/").replace('"/Z/', '"/')
    return text.replace("\\" if plain else "\\\\", "/")


def test_the_windows_build_finds_what_the_linux_build_finds(analyse, write_scene, tmp_path):
    root = tmp_path / "proj"
    scene = write_scene(root / "shot.hip", make_project(root))
    linux = analyse("linux", scene, tmp_path / "linux")
    windows = analyse("windows", scene, tmp_path / "windows")
    assert linux.code == 0, linux.out[-2000:] + linux.err
    assert windows.code == 0, windows.out[-2000:] + windows.err

    upload = linux.read("upload.json")
    locals_ = [entry["local"] for entry in upload["asset"]]
    for rel in ["tex/wall.1002.exr", "tex/skin.1002.exr", "tex/rock.exr", LONG + "/deep.exr"] + \
               ["tex/" + n for n in NAMES]:
        assert str(root / rel) in locals_, rel
    assert str(root / "tex/missing.exr") in linux.read("tips.json")["50001"][0]

    for name in RESULTS:
        ours = (linux.results / name).read_text(encoding="utf-8")
        theirs = as_linux((windows.results / name).read_text(encoding="utf-8"), name.endswith(".txt"))
        # Byte for byte: Wine lists a directory in the order Linux gives (NTFS would give its own
        # order, and the lists that keep the directories' order would differ in order only).
        assert ours == theirs, name


def test_drive_letters_mixed_separators_and_letter_case_on_a_windows_file_system(
        analyse, write_scene, wine_drive_c, tmp_path):
    drive_dir = wine_drive_c / ("scanflow_e2e_" + tmp_path.name)
    try:
        (drive_dir / "tex").mkdir(parents=True)
        (drive_dir / "tex" / "a.exr").write_text("a")
        deep = drive_dir / LONG / "deep.exr"
        deep.parent.mkdir(parents=True)
        deep.write_text("deep")
        root = tmp_path / "proj"
        (root / "tex").mkdir(parents=True)
        (root / "tex" / "b.exr").write_text("b")
        c_root = "C:\\" + drive_dir.name
        z_root = windows_path(root)
        parms = {"drive": c_root + "\\tex\\a.exr",                         # back slashes
                 "upper": c_root.upper() + "\\TEX\\A.EXR",                 # the same file, in capitals
                 "long": c_root + "/" + LONG + "/deep.exr",                 # past 260 characters
                 "share": z_root.replace("\\", "/") + "/tex/b.exr",         # Z: with forward slashes
                 "mixed": z_root + "/tex\\b.exr",                           # both separators
                 "gone": c_root + "\\tex\\missing.exr"}
        scene = write_scene(root / "shot.hip", [{"path": "/obj", "type": "obj"},
                                                {"path": "/obj/geo1", "type": "geo", "parms": parms}])
        run = analyse("windows", scene, tmp_path / "out")
        assert run.code == 0, run.out[-2000:] + run.err
        upload = run.read("upload.json")["asset"]
        entries = {(e["local"], e["server"]) for e in upload}
        c_forward = c_root.replace("\\", "/")
        assert (c_forward + "/tex/a.exr", "/C/" + drive_dir.name + "/tex/a.exr") in entries
        # One entry for the file named in two letter cases, as the system has one file.
        assert len([e for e in upload if e["local"].lower() == (c_forward + "/tex/a.exr").lower()]) == 1
        assert any(e["local"].endswith("/deep.exr") for e in upload)
        b_entries = [e for e in upload if e["local"].lower().endswith("/tex/b.exr")]
        assert len(b_entries) == 1 and b_entries[0]["server"].startswith("/Z/")
        missing = run.read("tips.json")["50001"]
        assert len(missing) == 1 and re.search(r"missing\.exr$", missing[0])
        assert run.read("asset.json")["asset_num"] == 3
    finally:
        shutil.rmtree(drive_dir, ignore_errors=True)


def test_the_windows_build_says_what_the_linux_build_says(analyse, write_scene, tmp_path):
    # A scene that does not exist ends quietly; a task file that cannot be read fails with 886
    # (a POSIX parent sees its low 8 bits, of a Windows program under Wine too), naming its place.
    absent = tmp_path / "absent.hip"
    scene = write_scene(tmp_path / "shot.hip", [{"path": "/obj", "type": "obj"}])
    for system in ("linux", "windows"):
        run = analyse(system, absent, tmp_path / system)
        assert run.code == 0 and "does not exist" in run.err, system
        run = analyse(system, scene, tmp_path / system, task="{")
        assert run.code == 886 % 256, system
        assert "Analysis failure" in run.out
        assert re.search(r"scanflow: the analysis failed \(exit 886\): FileError: cannot read JSON from "
                         r".*task\.json: line 1, column 2: ", run.err), (system, run.err)
        assert not (run.results / "analyze_sucess").exists()
