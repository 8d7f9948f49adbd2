"""Behaviour of the web side that tests change at run time through /config."""

import threading

DEFAULTS = {
    # Text answered to the TCP port discovery; None answers the real port.
    "tcp_port_answer": None,
    # Status of the server check at "/", to keep a till waiting at start-up.
    "root_status": 200,
}


class SettingsError(ValueError):
    pass


def _check_port_answer(value):
    if value is None or isinstance(value, str):
        return value
    if isinstance(value, int) and not isinstance(value, bool):
        return str(value)
    raise SettingsError("tcp_port_answer must be text, a number or null")


def _check_status(value):
    if isinstance(value, int) and not isinstance(value, bool) and 200 <= value <= 599:
        return value
    raise SettingsError("root_status must be an HTTP status from 200 to 599")


CHECKS = {"tcp_port_answer": _check_port_answer, "root_status": _check_status}


class Settings:
    def __init__(self):
        self._lock = threading.Lock()
        self._values = dict(DEFAULTS)

    def get(self, name):
        with self._lock:
            return self._values[name]

    def snapshot(self):
        with self._lock:
            return dict(self._values)

    def update(self, changes):
        """Applies all changes or none; raises SettingsError on a bad one."""
        if not isinstance(changes, dict):
            raise SettingsError("config must be a JSON object")
        checked = {}
        for name, value in changes.items():
            if name not in CHECKS:
                raise SettingsError("unknown setting %r" % name)
            checked[name] = CHECKS[name](value)
        with self._lock:
            self._values.update(checked)
            return dict(self._values)

    def reset(self):
        with self._lock:
            self._values = dict(DEFAULTS)
