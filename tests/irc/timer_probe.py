"""A WeeChat script for the load test: a 50 ms timer that records how late
WeeChat runs it, which is how late everything on WeeChat's thread runs.

WeeChat schedules a timer's k-th call at its start + k * interval and
catches up after a stall, so lateness is measured against that schedule,
not against the call before.

  /timer_probe reset      starts the timer anew, forgetting the worst
  /timer_probe report N   writes "N worst_ms calls worst_at heap_kb" to
                          timer_probe.txt in WeeChat's data folder (written
                          whole, then renamed); worst_at is the time.time()
                          of the worst, heap_kb the bytes WeeChat holds from
                          malloc, in kB
"""
import ctypes
import os
import time

import weechat

INTERVAL_MS = 50

state = {"hook": "", "start": 0.0, "calls": 0, "worst": 0.0, "worst_at": 0.0}


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")]


libc = ctypes.CDLL(None)
libc.mallinfo2.restype = MallInfo2


def heap_kb():
    """The bytes malloc has handed out and not had back, all arenas and
    mmapped blocks: unlike the resident size, this does not move with how
    the heap happens to be cut up, so a leak shows and little else does."""
    info = libc.mallinfo2()
    return (info.uordblks + info.hblkhd) // 1024


def tick(_data, _remaining):
    state["calls"] += 1
    due = state["start"] + state["calls"] * INTERVAL_MS / 1000
    now = time.time()  # WeeChat's timers run on gettimeofday, as time.time() does
    if now - due > state["worst"]:
        state.update(worst=now - due, worst_at=now)
    return weechat.WEECHAT_RC_OK


def reset():
    if state["hook"]:
        weechat.unhook(state["hook"])
    state.update(calls=0, worst=0.0, worst_at=0.0, start=time.time())
    state["hook"] = weechat.hook_timer(INTERVAL_MS, 0, 0, "tick", "")


def report(seq):
    path = os.path.join(weechat.info_get("weechat_data_dir", ""), "timer_probe.txt")
    with open(path + ".new", "w") as f:
        f.write(f"{seq} {state['worst'] * 1000:.1f} {state['calls']} {state['worst_at']:.3f} {heap_kb()}\n")
    os.replace(path + ".new", path)


def command(_data, _buffer, args):
    words = args.split()
    if words == ["reset"]:
        reset()
    elif len(words) == 2 and words[0] == "report":
        report(words[1])
    else:
        return weechat.WEECHAT_RC_ERROR
    return weechat.WEECHAT_RC_OK


if weechat.register("timer_probe", "quorbel tests", "1", "GPL3", "lateness of a 50 ms timer", "", ""):
    weechat.hook_command("timer_probe", "lateness of a 50 ms timer", "reset || report <n>",
                         "", "reset || report", "command", "")
    reset()
    report(0)
