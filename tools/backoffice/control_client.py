"""Command-line client of the control interface, for people at a terminal:

  backoffice.py push --control C '{"c":"sale","a":"item",...}'
  backoffice.py received --control C
  backoffice.py drop --control C
  backoffice.py demo --control C      (a short sale, for watching a page)
"""

import argparse
import json
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

CLIENT_TIMEOUT_SECONDS = 30.0
DEMO_STEP_SECONDS = 1.0

DEMO_MESSAGES = [
    {"c": "sale", "a": "clear"},
    {"c": "ad", "a": "show", "data": {"text": "会员日 全场九折"}},
    {"c": "sale", "a": "item", "data": {"name": "苹果", "qty": 2, "price": "3.50"}},
    {"c": "sale", "a": "item", "data": {"name": "牛奶 1L", "qty": 1, "price": "12.80"}},
    {"c": "sale", "a": "item", "data": {"name": "面包", "qty": 3, "price": "4.00"}},
    {"c": "sale", "a": "total", "data": {"total": "31.80", "paid": "50.00", "change": "18.20"}},
]


def control_url(args, path, query=None):
    url = "http://%s:%d%s" % (args.host, args.control, path)
    if query:
        url += "?" + urllib.parse.urlencode(query)
    return url


def call(args, method, path, body=None, query=None, timeout=CLIENT_TIMEOUT_SECONDS):
    """Returns the decoded JSON reply; raises OSError when the simulator is unreachable."""
    request = urllib.request.Request(control_url(args, path, query), data=body, method=method)
    try:
        with urllib.request.urlopen(request, timeout=timeout) as response:
            return json.loads(response.read().decode("utf-8"))
    except urllib.error.HTTPError as error:
        return json.loads(error.read().decode("utf-8") or "{}")


UTF8_MARKER = '"char":"utf-8"'


def message_bytes(text, encoding="auto"):
    """The bytes the till should get for a message typed as text. The till
    reads pushes as code page 936 unless they carry the UTF-8 marker, so
    "auto" follows the same rule; a character that code page 936 lacks is an
    error rather than a silently mangled message."""
    if encoding == "auto":
        encoding = "utf-8" if UTF8_MARKER in text else "gbk"
    return text.encode(encoding)


def cmd_push(args):
    query = {"flag": args.flag} if args.flag else None
    return call(args, "POST", "/push", message_bytes(args.message, args.encoding), query)


def cmd_demo(args):
    sent = []
    for message in DEMO_MESSAGES:
        text = json.dumps(message, ensure_ascii=False, separators=(",", ":"))
        sent.append(call(args, "POST", "/push", message_bytes(text))["sent"])
        time.sleep(args.step)
    return {"pushed": len(sent), "sent": sent}


def cmd_wait(args):
    query = {"what": args.what, "count": args.count, "timeout": args.timeout}
    return call(args, "GET", "/wait", query=query, timeout=args.timeout + CLIENT_TIMEOUT_SECONDS)


def cmd_config(args):
    return call(args, "POST", "/config", json.dumps({args.name: json.loads(args.value)}).encode("utf-8"))


SIMPLE = {
    "received": ("GET", "/received"),
    "reports": ("GET", "/page-reports"),
    "requests": ("GET", "/requests"),
    "connections": ("GET", "/connections"),
    "drop": ("POST", "/drop"),
    "reset": ("POST", "/reset"),
    "tcp-stop": ("POST", "/tcp/stop"),
    "tcp-start": ("POST", "/tcp/start"),
    "web-stop": ("POST", "/web/stop"),
    "web-start": ("POST", "/web/start"),
    "shutdown": ("POST", "/shutdown"),
}
COMMANDS = set(SIMPLE) | {"push", "demo", "wait", "config"}


def build_parser():
    parser = argparse.ArgumentParser(prog="backoffice.py", description="control a running back-office simulator")
    common = argparse.ArgumentParser(add_help=False)
    common.add_argument("--control", type=int, required=True, help="the simulator's control port")
    common.add_argument("--host", default="127.0.0.1")
    sub = parser.add_subparsers(dest="command", required=True)
    for name in SIMPLE:
        sub.add_parser(name, parents=[common])
    push = sub.add_parser("push", parents=[common], help="push one message to every connected till")
    push.add_argument("message")
    push.add_argument("--flag", type=int, default=0)
    push.add_argument("--encoding", choices=["auto", "gbk", "utf-8"], default="auto",
                      help="auto: UTF-8 when the message carries the UTF-8 marker, else code page 936")
    demo = sub.add_parser("demo", parents=[common], help="push a short demonstration sale")
    demo.add_argument("--step", type=float, default=DEMO_STEP_SECONDS, help="seconds between messages")
    wait = sub.add_parser("wait", parents=[common])
    wait.add_argument("what", choices=["connections", "accepted", "received", "page-reports", "requests"])
    wait.add_argument("--count", type=int, default=1)
    wait.add_argument("--timeout", type=float, default=10.0)
    config = sub.add_parser("config", parents=[common], help="e.g. config tcp_port_answer '\"abc\"'")
    config.add_argument("name")
    config.add_argument("value", help="a JSON value")
    return parser


def run(argv):
    args = build_parser().parse_args(argv)
    handlers = {"push": cmd_push, "demo": cmd_demo, "wait": cmd_wait, "config": cmd_config}
    try:
        if args.command in handlers:
            reply = handlers[args.command](args)
        else:
            method, path = SIMPLE[args.command]
            reply = call(args, method, path, b"" if method == "POST" else None)
    except (OSError, ValueError) as error:
        print("backoffice: %s" % error, file=sys.stderr)
        return 2
    print(json.dumps(reply, ensure_ascii=False, indent=1))
    return 1 if isinstance(reply, dict) and ("error" in reply or reply.get("ok") is False) else 0
