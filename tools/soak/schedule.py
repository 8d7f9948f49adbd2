"""How the soak lays out its run: which disruption comes between which two
segments, and how pushes are shared out."""

# A run may take this much longer than its set time (a slow machine, a slow
# engine) before it stops on its own.
OVERRUN_FACTOR = 1.5
OVERRUN_GRACE_SECONDS = 120


def split_evenly(total, parts):
    """`total` cut into `parts` whole shares that differ by at most one."""
    if parts <= 0:
        return []
    base, extra = divmod(total, parts)
    return [base + (1 if i < extra else 0) for i in range(parts)]


def disruptions(restarts, kills, process_every):
    """The disruptions in order: "tcp" (the simulator's TCP service stopped
    and started), "process" (every `process_every`th restart: the whole
    simulator ended and started again) and "kill" (the browser), with the
    kills spread evenly among the restarts."""
    events = ["process" if process_every and (i + 1) % process_every == 0 else "tcp"
              for i in range(restarts)]
    total = restarts + kills
    # Kill k goes to the middle of its own stretch of the run.
    kill_places = {(2 * k + 1) * total // (2 * kills) for k in range(kills)} if kills else set()
    placed = []
    restart_events = iter(events)
    for index in range(total):
        placed.append("kill" if index in kill_places else next(restart_events))
    return placed


def deadline_seconds(set_seconds):
    """How long a run may go on before it stops unfinished."""
    return set_seconds * OVERRUN_FACTOR + OVERRUN_GRACE_SECONDS
