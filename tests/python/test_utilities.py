"""Path, text and file utilities as host scripts call them."""

import hashlib
import os

import hou
import pytest
import scanflow

GBK = "中文".encode("gbk")


def test_decoders_take_bytes_and_pass_text():
    assert scanflow.bety_out_decode("中文".encode()) == "中文"
    assert scanflow.bety_out_decode(GBK) == "中文"
    assert scanflow.bety_out_decode(b"\xff") == "b'\\xff'"
    assert scanflow.bety_out_decode("already text") == "already text"
    assert scanflow.get_encode(b"abc") == "abc"
    assert scanflow.get_encode(b"\xff\xff") is None
    assert scanflow.str_to_unicode(b"") == "" and scanflow.str_to_unicode(None) == ""
    assert scanflow.str_to_unicode(b"abc") == "abc"
    with pytest.raises(UnicodeDecodeError):
        scanflow.str_to_unicode(GBK)


def test_unicode_to_str_reports_failures_and_returns_nothing(capsys):
    assert scanflow.unicode_to_str("中文", "GBK") is None
    assert "[err]" not in capsys.readouterr().out
    scanflow.unicode_to_str("中文", "ascii")
    out = capsys.readouterr().out.splitlines()
    assert out[1] == "[err]unicode_to_str:encode 中文 to ascii failed"


def test_path_forms_and_lists():
    assert scanflow.convert_path("C:/proj/./a.exr") == "/C/proj/a.exr"
    assert scanflow.unc_path("c:/" + "a" * 300).startswith("\\\\?\\c:\\aaa")
    paths = ["C:/A", "D:/B"]
    assert scanflow.list_lower(paths) is paths and paths == ["c:/a", "d:/b"]
    prefixes = ["C:/Users/Public/"]
    assert scanflow.search_unavailable_path("c:/users/public/x", prefixes) == "c:/users/public/x"
    assert prefixes == ["c:/users/public/"]
    assert scanflow.search_unavailable_path("/jobs/x", prefixes) is None


def test_wrapped_operations_end_the_run_on_bad_arguments(capsys):
    with pytest.raises(SystemExit) as info:
        scanflow.glob_file(None)
    assert info.value.code == 886
    assert "TypeError: glob_file() needs text, not 'NoneType'\n##--##<< " in capsys.readouterr().out


def test_listing_keeps_names_that_are_not_utf8(tmp_path):
    raw = os.fsencode(str(tmp_path)) + b"/tex/\xff\xfe.1001.exr"
    os.makedirs(os.path.dirname(raw))
    open(raw, "wb").close()
    (tmp_path / "tex" / "wall.1001.tex").write_text("t")
    (tmp_path / "tex" / "wall.1001.png").write_text("p")
    found = scanflow.glob_file(str(tmp_path / "tex" / "*.*[0-9].exr"))
    assert found == [os.fsdecode(raw)]
    assert os.path.exists(found[0])
    assert set(scanflow.get_files(str(tmp_path))) == {
        os.fsdecode(raw), str(tmp_path / "tex" / "wall.1001.tex"), str(tmp_path / "tex" / "wall.1001.png")}
    assert scanflow.glob_file(str(tmp_path / "tex" / "wall.*.tex")) == [
        str(tmp_path / "tex" / "wall.1001.tex"), str(tmp_path / "tex" / "wall.1001.png")]


def test_a_listing_cache_block_lists_each_folder_once_and_nested_blocks_share_it(tmp_path):
    (tmp_path / "tex").mkdir()
    (tmp_path / "tex" / "a.1001.exr").write_text("a")
    pattern = str(tmp_path / "tex" / "a.*.exr")
    with scanflow.listing_cache() as outer:
        assert scanflow.glob_file(pattern) == [str(tmp_path / "tex" / "a.1001.exr")]
        read = outer.reads
        assert read > 0
        (tmp_path / "tex" / "a.1002.exr").write_text("b")
        with scanflow.listing_cache() as inner:
            # The enclosing block's listing: the file written since is not seen.
            assert len(scanflow.glob_file(pattern)) == 1
            assert inner.reads == read
        assert len(scanflow.glob_file(pattern)) == 1
        assert outer.reads == read
    assert outer.reads == 0
    # Outside a block each call lists afresh.
    assert len(scanflow.glob_file(pattern)) == 2


def test_file_facts(tmp_path):
    scene = tmp_path / "s.hip"
    scene.write_bytes(b"fdata\nset -g _HIP_SAVEVERSION = '19.5.303'\r\n")
    assert scanflow.getFileMd5(str(scene)) == hashlib.md5(scene.read_bytes()).hexdigest()
    assert scanflow.get_file_size(str(scene)) == len(scene.read_bytes())
    assert scanflow.get_file_size(str(tmp_path / "none")) == 0
    assert scanflow.get_file_save_ver(str(scene), "_HIP_SAVEVERSION", MaxSearchLine=200) == "19.5.303"
    assert scanflow.get_hipVersion(str(scene)) == "19.5"
    assert scanflow.get_file_data(str(tmp_path / "none")) == str(tmp_path / "none") + "  (mtime 0) size 0"
    with pytest.raises(OSError):
        scanflow.get_file_save_ver(str(tmp_path / "none.hip"))
    (tmp_path / "bare.hip").write_text("nothing\n")
    with pytest.raises(OSError):
        scanflow.get_hipVersion(str(tmp_path / "bare.hip"))


def test_texture_counterparts_lower_the_callers_prefixes(tmp_path):
    tex = tmp_path / "a.exr"
    tex.write_text("x")
    (tmp_path / "a.tx").write_text("x")
    prefixes = [str(tmp_path).upper() + "/"]
    found, guarded = scanflow.check_tx_exists(str(tex), "", prefixes)
    assert found == [str(tmp_path / "a.tx"), str(tex)]
    assert guarded == [str(tex)] and prefixes == [str(tmp_path).lower() + "/"]
    found, guarded = scanflow.find_tx_counterparts_parallel([str(tex), "rel/a.exr"], "/opt/hfs", [], 3)
    assert sorted(found) == sorted([str(tmp_path / "a.tx"), str(tex)]) and guarded == []


def test_asset_library_filters(tmp_path, monkeypatch):
    monkeypatch.setenv("HH", str(tmp_path / "hfs"))
    monkeypatch.setenv("HOUDINI_PATH", "/studio/houdini:&")
    monkeypatch.delenv("PXR_PLUGINPATH_NAME", raising=False)
    assert scanflow.filter_otls_path() == {"/studio/houdini", "&", str(tmp_path / "hfs")}
    dirs, files = scanflow.filter_excluded_paths(
        scanflow.filter_otls_path(),
        [str(tmp_path / "hfs/otls/a.hda"), "/show/otls/b.hda", "/studio/houdini/otls/c.hda"])
    assert files == ["/show/otls/b.hda"] and dirs == ["/show/otls"]
    monkeypatch.delenv("HH")
    with pytest.raises(scanflow.Error, match="HH"):
        scanflow.filter_excluded_paths(scanflow.filter_otls_path(), ["/show/otls/b.hda"])


def test_host_objects_from_scripts(project, capsys):
    scene = project.scene({"nodes": [
        {"path": "/obj/a", "type": "x", "library": "/otls/x.hda",
         "parms": {"file": {"value": "a", "locked": True}}},
        {"path": "/obj/b", "type": "x", "library": "/otls/x.hda"},
        {"path": "/obj/c", "type": "y", "library": "Embedded"},
        {"path": "/obj/d", "type": "z"}]})
    hou.hipFile.load(str(scene))
    for path in ("/obj/a", "/obj/b", "/obj/c", "/obj/d"):
        scanflow.get_otls(hou.node(path))
    assert scanflow.otls_assetpath == ["/otls/x.hda"]
    assert "HDA is embedded. Cannot version up" in capsys.readouterr().out
    parm = hou.node("/obj/a").parm("file")
    scanflow.clear_special_setting(parm)
    assert not parm.isLocked()

    class Stubborn:
        def isLocked(self):
            return True

        def lock(self, on):
            raise hou.OperationFailed("permission denied")

        def path(self):
            return "/obj/a/file"

    with pytest.raises(SystemExit) as info:
        scanflow.clear_special_setting(Stubborn())
    assert info.value.code == 555
    out = capsys.readouterr().out
    assert out.startswith("/obj/a/file\ntraceback.format_exc():\n")
    assert "hou.OperationFailed: permission denied" in out


def test_gather_upload_with_mapped_drives(project, monkeypatch, capsys):
    tex = project.root / "tex"
    tex.mkdir()
    (tex / "a.exr").write_text("a")
    scene = project.root / "shot.usda"
    scene.write_text("#usda 1.0\n")
    related = scanflow.Related({"hip_file": str(scene), "path_json": str(project.out)})
    monkeypatch.setenv("G_WIN_MNT_MAP", "junk;{\"A:\": \"\\\\\\\\srv\\\\show\"}")
    assert related._get_drive_replacement_map() == {"A:": "show"}
    assert related._replace_drive_in_path("A:/x.exr", {"A:": "show"}) == "show/x.exr"
    record = related.gather_upload([str(tex), str(project.root / "gone")], str(scene))
    assert record["asset"] == [{"local": str(tex / "a.exr"), "server": str(tex / "a.exr")},
                               {"local": str(scene), "server": str(scene)}]
    assert record["scene"] == [{"local": str(scene), "server": str(scene),
                                "hash": hashlib.md5(scene.read_bytes()).hexdigest()}]
    monkeypatch.setenv("G_WIN_MNT_MAP", "A:=share")
    assert related._get_win_mnt_map() == {}
    assert "    WARNING: Failed to parse G_WIN_MNT_MAP: " in capsys.readouterr().out
