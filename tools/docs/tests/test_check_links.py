"""The documents' link check: the project's own documents pass, and each kind
of broken link in a made-up tree is found and named with its file and line."""

import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

import check_links  # noqa: E402

SCRIPT = HERE.parent / "check_links.py"
REPO = HERE.parents[2]


def run(*args):
    return subprocess.run([sys.executable, str(SCRIPT)] + [str(a) for a in args],
                          capture_output=True, text=True, timeout=60)


def make_tree(root, guide):
    (root / "docs").mkdir()
    (root / "tools" / "backoffice").mkdir(parents=True)
    (root / "README.md").write_text("# Front\n\nSee [the guide](docs/guide.md#a-fatal-error).\n", encoding="utf-8")
    (root / "tools" / "backoffice" / "README.md").write_text("# Simulator\n\n[home](../../README.md)\n",
                                                             encoding="utf-8")
    (root / "docs" / "other.md").write_text("# Other\n\n## `config.ini`\n\n## Faults and restarts\n",
                                            encoding="utf-8")
    (root / "docs" / "guide.md").write_text(guide, encoding="utf-8")


GOOD = """# Guide

## A fatal error

Links that resolve: [front](../README.md), [a heading here](#a-fatal-error),
[with code](other.md#configini), [the folder](../tools/backoffice/), [web](https://example.com/x),
[mail](mailto:a@example.com), ![picture](other.md).

[ref]: other.md#faults-and-restarts

```text
[inside a fence](missing.md)
```

and inline code is not a link: `[x](missing.md)`.
"""


def test_the_projects_own_documents_have_no_broken_link():
    done = run(REPO)
    assert done.returncode == 0, done.stdout + done.stderr
    assert done.stdout == ""
    # The check looked at something: the documents exist and hold links.
    checked = check_links.documents(REPO)
    assert REPO / "README.md" in checked and len(checked) >= 7
    assert sum(len(list(check_links.links(p))) for p in checked) > 20


def test_a_tree_whose_links_all_resolve_passes(tmp_path):
    make_tree(tmp_path, GOOD)
    done = run(tmp_path)
    assert (done.returncode, done.stdout) == (0, ""), done.stdout


def test_each_broken_link_is_named_with_its_file_and_line(tmp_path):
    make_tree(tmp_path, GOOD + "\n[gone](gone.md)\n[no heading](other.md#no-such-part) [bad here](#nowhere)\n"
              "[escape](../../outside.md) [absolute](/etc/passwd)\n[ref2]: missing-ref.md\n")
    (tmp_path.parent / "outside.md").write_text("# x\n", encoding="utf-8")
    done = run(tmp_path)
    assert done.returncode == 1
    lines = done.stdout.splitlines()
    last = len(GOOD.splitlines()) + 2
    assert lines == [
        "docs/guide.md:%d: broken link gone.md: no such file" % last,
        "docs/guide.md:%d: broken link other.md#no-such-part: no heading with the anchor #no-such-part in "
        "docs/other.md" % (last + 1),
        "docs/guide.md:%d: broken link #nowhere: no heading with the anchor #nowhere in docs/guide.md" % (last + 1),
        "docs/guide.md:%d: broken link ../../outside.md: outside the repository" % (last + 2),
        "docs/guide.md:%d: broken link /etc/passwd: an absolute path; use a relative one" % (last + 2),
        "docs/guide.md:%d: broken link missing-ref.md: no such file" % (last + 3),
    ]


def test_a_broken_link_in_the_front_page_or_the_simulators_readme_is_found(tmp_path):
    make_tree(tmp_path, GOOD)
    (tmp_path / "README.md").write_text("# Front\n\n[guide](docs/guide.md#no-such-heading)\n", encoding="utf-8")
    (tmp_path / "tools" / "backoffice" / "README.md").write_text("# S\n\n[page](page/index.html)\n",
                                                                 encoding="utf-8")
    done = run(tmp_path)
    assert done.returncode == 1
    assert done.stdout.splitlines() == [
        "README.md:3: broken link docs/guide.md#no-such-heading: no heading with the anchor #no-such-heading "
        "in docs/guide.md",
        "tools/backoffice/README.md:3: broken link page/index.html: no such file",
    ]


def test_anchors_follow_githubs_slugs():
    assert check_links.slug("The offline screen: a page that does not load, and a server that vanished") == \
        "the-offline-screen-a-page-that-does-not-load-and-a-server-that-vanished"
    assert check_links.slug("`config.ini`") == "configini"
    assert check_links.slug("The reference page (`page/`)") == "the-reference-page-page"
    assert check_links.slug("当前交易 and 商品") == "当前交易-and-商品"
