"""The walk of a stage that is another stage without its root layer is derived from that stage's
walk, and a stage composed without arcs is read from its layers: the results must be those of
walking every stage in full."""

import re

import pytest
from conftest import TIMINGS, WEB_OPTIONS, base_env

pxr = pytest.importorskip("pxr")
from usd_scenes import build_layer_chains  # noqa: E402

# Chains where some stage's walk can be derived; in the others every stage is walked in full.
DERIVED = {"dirs", "overrides", "timing"}
# Chains holding stages without arcs.
PLAIN = {"dirs", "overrides"}


def analyse(run_cli, scene, out, mode):
    out.mkdir()
    (out / "task.json").write_text('{"task_info": {"platform": "2", "channel": "1"}, "software_config": {"plugins": {}}}')
    run = run_cli("-channel", "web", "-file", scene, "-path_json", out, *WEB_OPTIONS,
                  env=base_env(HH="/opt/hfs", SCANFLOW_USD_WALK=mode))
    assert run.code == 0, run.out[-3000:] + run.err[-3000:]
    console = TIMINGS.sub("T", run.out.replace(str(out), "<out>"))
    files = {p.name: p.read_bytes().replace(str(out).encode(), b"<out>") for p in sorted(out.iterdir())}
    derived = re.findall(r"USD walks derived and verified: (\d+)", run.err)
    plain = re.findall(r"USD walks read from their layers and verified: (\d+)", run.err)
    return console, files, sum(int(n) for n in derived), sum(int(n) for n in plain)


@pytest.mark.parametrize("chain", ["dirs", "overrides", "classes", "timing", "cycle"])
def test_derived_walks_give_the_results_of_full_walks(run_cli, tmp_path, chain):
    top = build_layer_chains(tmp_path / "layers")[chain]
    full_console, full_files, _, _ = analyse(run_cli, top, tmp_path / "full", "full")
    console, files, derived, plain = analyse(run_cli, top, tmp_path / "verify", "verify")
    assert console == full_console
    assert files == full_files
    # Verification walks each derived stage in full as well and fails the run on a difference.
    assert (derived > 0) == (chain in DERIVED), derived
    # Layers without arcs (a referenced model, the layers below variants) are read as layers.
    assert (plain > 0) == (chain in PLAIN), plain
    assert console.count("asset path : ") >= 2
