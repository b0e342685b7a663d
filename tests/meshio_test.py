#!/usr/bin/python3
"""tarnfold-mesh's mesh files as meshio reads them, in both MSH versions: the three named groups
of the right dimensions, holding the elements the command's summary counts; then the picture of
the guide drawn from one of them.

Usage: tests/meshio_test.py BUILD_DIR SOURCE_DIR
"""
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import meshio


def check(build, work, version):
    mesh_file = work / ("bracket-%s.msh" % version)
    run = subprocess.run([str(build / "tarnfold-mesh"), "--format", version, "examples/bracket",
                          str(mesh_file)], cwd=work, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    counts = {m[0]: int(m[1]) for m in re.findall(r"^  (\w+): \d+ \w+, (\d+) ", run.stdout, re.M)}
    mesh = meshio.read(mesh_file)
    dims = {name: int(value[1]) for name, value in mesh.field_data.items()}
    assert dims == {"force": 2, "restraint": 2, "solid": 3}, dims
    for name in dims:
        tag = mesh.field_data[name][0]
        found = sum(int((physical == tag).sum())
                    for block, physical in zip(mesh.cells, mesh.cell_data["gmsh:physical"])
                    if (block.type == "tetra") == (dims[name] == 3))
        assert found == counts[name] > 0, (version, name, found, counts)
    return mesh_file


def main(argv):
    build, source = Path(argv[1]).resolve(), Path(argv[2]).resolve()
    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch)
        shutil.copytree(source / "examples", work / "examples")
        subprocess.run([str(build / "tarnfold"), "examples/bracket"], cwd=work, check=True,
                       capture_output=True)
        checked = [check(build, work, version) for version in ("2.2", "4.1")]
        subprocess.run([str(source / "scripts" / "mesh-picture"), str(checked[0]),
                        str(work / "mesh.svg")], check=True)
        svg = (work / "mesh.svg").read_text()
        assert svg.count("<polygon") > 500, "the picture shows too few triangles"
    print("meshio read both mesh files: force, restraint and solid as counted")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
