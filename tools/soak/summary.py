"""The soak's figures as text: the process figures of its progress lines and
the one summary block it ends with (made to be pasted into docs/soak.md as it is)."""

import datetime


def describe_stats(stats):
    if not stats:
        return "no process figures (lumoctl stats found no main window)"
    return "handles=%(handles)s threads=%(threads)s private_bytes=%(private_bytes)s" % stats


def megabytes(value):
    try:
        return "%.1f MB" % (int(value) / 1e6)
    except (TypeError, ValueError):
        return "?"


def change(start, end, key, show=str):
    """How much a figure grew from start to end, as " (+n)"; "" when either is unknown."""
    try:
        grown = int(end[key]) - int(start[key])
    except (TypeError, ValueError, KeyError):
        return ""
    return " (%s%s)" % ("+" if grown >= 0 else "-", show(abs(grown)))


def spread(seconds):
    """Median and largest of some durations, or "-" for none."""
    if not seconds:
        return "-"
    ordered = sorted(seconds)
    return "median %.1f s, max %.1f s" % (ordered[len(ordered) // 2], ordered[-1])


def summary(soak, figures, faults):
    args, done = soak.args, soak.done
    elapsed = soak.elapsed
    start, end = soak.stats.get("start"), soak.stats.get("end")
    lines = [
        "soak %s, %s engine: %.0f s of %.0f s set"
        % (datetime.date.today().isoformat(), args.engine, elapsed, args.minutes * 60),
        "server restarts   %d of %d (%d TCP stop/start, %d simulator process), logins %d"
        % (done["tcp"] + done["process"], args.restarts, done["tcp"], done["process"],
           soak.final_logins),
        "browser kills     %d of %d, page loads %d" % (done["kill"], args.kills, len(soak.loads)),
        "pushes            %d sent of %d, %d reached the page, %d lost, %d repeated, %d out of "
        "order, %d unsent" % (figures["sent"], args.pushes, figures["reached"], figures["lost"],
                              figures["repeated"], figures["late"], figures["unsent"]),
        "log lines         %d written, %d lost, %d repeated"
        % (figures["logged"], figures["log_lost"], figures["log_repeated"]),
        "push rate         %.0f/s while pushing, %.0f/s over the run"
        % (figures["sent"] / soak.push_seconds if soak.push_seconds else 0,
           figures["sent"] / elapsed if elapsed else 0),
        "back after        restart %s; kill %s" % (spread(soak.back_after["restart"]),
                                                   spread(soak.back_after["kill"])),
    ]
    if start:
        lines.append("process at start  handles %s, threads %s, private bytes %s"
                     % (start["handles"], start["threads"], megabytes(start["private_bytes"])))
    if end:
        lines.append("process at end    handles %s%s, threads %s%s, private bytes %s%s"
                     % (end["handles"], change(start, end, "handles"), end["threads"],
                        change(start, end, "threads"), megabytes(end["private_bytes"]),
                        change(start, end, "private_bytes", megabytes)))
    if start:
        lines.append("  (read with %s, %s, %s)" % (start["handles_from"], start["threads_from"],
                                                  start["private_bytes_from"]))
    ending = "in order through its tray" if soak.ended_in_order else "NOT in order"
    if args.engine == "chromium":
        ending += ", %d browser processes left" % len(soak.browsers_left)
    lines.append("program ended     %s" % ending)
    lines.append("result            %s" % ("ok" if not faults else "FAILED"))
    lines.extend("  fault: %s" % fault for fault in faults)
    return "\n".join(lines)
