"""The formatting check on a repository of its own: it must name exactly the
files that differ from .clang-format, and pass once they are formatted."""
import pathlib
import shutil
import subprocess

import pytest

SCRIPT = pathlib.Path(__file__).resolve().parents[1] / "check_format.sh"
ROOT = pathlib.Path(__file__).resolve().parents[3]

pytestmark = pytest.mark.skipif(shutil.which("clang-format") is None, reason="no clang-format")


def run(*args, cwd):
    return subprocess.run(list(args), cwd=cwd, capture_output=True, text=True, timeout=60)


@pytest.fixture
def repo(tmp_path):
    shutil.copy(ROOT / ".clang-format", tmp_path / ".clang-format")
    run("git", "init", "-q", cwd=tmp_path)
    (tmp_path / "tidy.cpp").write_text("int Tidy() { return 1; }\n")
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "messy.h").write_text("int   Messy( ){return 2;}\n")
    (tmp_path / "untracked.cpp").write_text("int   Loose( ){return 3;}\n")
    (tmp_path / "notes.txt").write_text("int   NotCpp( ){return 4;}\n")
    run("git", "add", ".clang-format", "tidy.cpp", "sub/messy.h", "notes.txt", cwd=tmp_path)
    return tmp_path


def test_names_only_the_tracked_unformatted_files(repo):
    result = run("bash", str(SCRIPT), str(repo), cwd=repo)
    assert result.returncode == 1, result.stdout + result.stderr
    named = [line.strip() for line in result.stdout.splitlines() if line.startswith("  ")]
    assert named == ["sub/messy.h"]


def test_passes_once_formatted(repo):
    run("clang-format", "-i", "sub/messy.h", cwd=repo)
    result = run("bash", str(SCRIPT), str(repo), cwd=repo)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "2 C++ files formatted" in result.stdout


def test_line_over_the_column_limit_fails(repo):
    long_call = "int Long() { return " + " + ".join(["1"] * 60) + "; }\n"
    (repo / "tidy.cpp").write_text(long_call)
    run("clang-format", "-i", "sub/messy.h", cwd=repo)
    result = run("bash", str(SCRIPT), str(repo), cwd=repo)
    assert result.returncode == 1
    assert "  tidy.cpp" in result.stdout
