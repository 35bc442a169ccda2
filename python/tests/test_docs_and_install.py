"""The README's example runs and draws its picture; cmake --install puts the
package where a prefix's Python finds it, and it imports from there."""

import ast
import os
import shutil
import subprocess
import sys

import pytest

REPOSITORY = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def readme_example(heading="**A notebook example.**"):
    with open(os.path.join(REPOSITORY, "README.md")) as readme:
        text = readme.read()
    start = text.index("```python\n", text.index(heading)) + len("```python\n")
    return text[start : text.index("```", start)]


def run_python(code, cwd, **environment):
    """A fresh interpreter without the build's PYTHONPATH."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONNOUSERSITE")}
    env.update(environment)
    return subprocess.run([sys.executable, "-c", code], cwd=cwd, env=env, capture_output=True, text=True, check=True)


def stub_names():
    """The names the type stubs declare: at the top, and in each class."""
    import vorlask

    with open(os.path.join(os.path.dirname(vorlask.__file__), "__init__.pyi")) as stub:
        tree = ast.parse(stub.read())
    top, classes = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            top.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
        if isinstance(node, ast.ClassDef):
            classes[node.name] = {item.name for item in node.body if isinstance(item, ast.FunctionDef)}
    return top, classes


def test_stubs_and_docstrings_cover_every_public_name():
    import vorlask

    top, classes = stub_names()
    assert set(vorlask.__all__) <= top
    for name in vorlask.__all__:
        if callable(getattr(vorlask, name)):
            assert getattr(vorlask, name).__doc__.strip(), name
    for name in ("Network", "Chain"):
        kind = getattr(vorlask, name)
        members = {member for member in dir(kind) if not member.startswith("_")}
        assert members == {member for member in classes[name] if not member.startswith("_")}, name
        for member in members:
            assert getattr(kind, member).__doc__.strip(), name + "." + member
    assert "-> vorlask.Chain" in vorlask.Network.chain.__doc__


def test_readme_example_draws_its_picture(tmp_path):
    pytest.importorskip("matplotlib")
    os.makedirs(tmp_path / "docs" / "examples")
    shutil.copy(os.path.join(REPOSITORY, "docs", "examples", "ring8.txt"), tmp_path / "docs" / "examples")
    run_python(readme_example(), tmp_path, PYTHONPATH=os.environ["PYTHONPATH"], MPLBACKEND="Agg")
    with open(tmp_path / "docs" / "python-example.png", "rb") as picture:
        assert picture.read(8) == b"\x89PNG\r\n\x1a\n"


def test_readme_cluster_example_runs(tmp_path):
    pytest.importorskip("dask.distributed")
    os.makedirs(tmp_path / "docs" / "examples")
    shutil.copy(os.path.join(REPOSITORY, "docs", "examples", "ring8.txt"), tmp_path / "docs" / "examples")
    (tmp_path / "example.py").write_text(readme_example("**Grids and clusters.**"))
    env = {k: v for k, v in os.environ.items() if k != "PYTHONNOUSERSITE"}
    result = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1] == "(41, 21)"


@pytest.fixture(scope="module")
def install():
    build = os.environ.get("VORLASK_BUILD_DIR")
    if not build or not shutil.which("cmake"):
        pytest.skip("VORLASK_BUILD_DIR does not name the build folder")

    def into(prefix, **environment):
        command = ["cmake", "--install", build, "--prefix", str(prefix), "--component", "python"]
        subprocess.run(command, env=dict(os.environ, **environment), capture_output=True, check=True)

    return into


SITE = "lib/python%d.%d/site-packages" % sys.version_info[:2]
IMPORT = "import numpy, vorlask; print(vorlask.__file__); print(vorlask.Network(1 - numpy.eye(3, dtype=int)).curve(2))"


def installed_files(folder):
    return sorted(name for name in os.listdir(folder) if not name.startswith("__pycache__"))


def test_a_fresh_prefix_gets_an_importable_package(install, tmp_path):
    import numpy
    import vorlask

    install(tmp_path / "prefix")
    package = tmp_path / "prefix" / SITE / "vorlask"
    extension = os.path.basename(vorlask._vorlask.__file__)
    assert installed_files(package) == sorted(["__init__.py", "__init__.pyi", "_sweeps.py", "py.typed", extension])
    assert all(os.stat(package / name).st_mode & 0o777 == 0o644 for name in installed_files(package))
    output = run_python(IMPORT, tmp_path, PYTHONPATH=str(tmp_path / "prefix" / SITE)).stdout.splitlines()
    assert output[0] == str(package / "__init__.py")
    assert output[1] == str(vorlask.Network(1 - numpy.eye(3, dtype=int)).curve(2))


def test_the_home_prefix_is_the_user_site(install, tmp_path):
    home = tmp_path / "home"
    install(home / ".local")
    output = run_python(IMPORT, tmp_path, HOME=str(home)).stdout.splitlines()
    assert output[0] == str(home / ".local" / SITE / "vorlask" / "__init__.py")


def test_debian_prefix_is_dist_packages(install, tmp_path):
    install("/usr", DESTDIR=str(tmp_path / "stage"))
    package = tmp_path / "stage" / "usr" / "lib" / "python3" / "dist-packages" / "vorlask"
    assert "__init__.py" in installed_files(package)
    assert not os.path.exists(tmp_path / "stage" / "usr" / SITE)
