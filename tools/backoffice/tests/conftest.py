import os
import sys
import threading

import pytest

TOOL_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TOOL_DIR)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from backoffice import Backoffice  # noqa: E402


@pytest.fixture
def office():
    """A simulator on OS-chosen loopback ports; checks that stop() leaves no thread."""
    before = set(threading.enumerate())
    instance = Backoffice()
    instance.start()
    yield instance
    instance.stop()
    left = [t for t in threading.enumerate() if t not in before and t.is_alive()]
    assert left == [], "threads left after stop: %r" % left
