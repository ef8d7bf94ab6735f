"""A WeeChat script for the load test: a 50 ms timer that records how late
WeeChat runs it, which is how late everything on WeeChat's thread runs.

WeeChat schedules a timer's k-th call at its start + k * interval and
catches up after a stall, so lateness is measured against that schedule,
not against the call before.

  /timer_probe reset      starts the timer anew, forgetting the worst
  /timer_probe report N   writes "N worst_ms calls worst_at" to timer_probe.txt
                          in WeeChat's data folder (written whole, then
                          renamed); worst_at is the time.time() of the worst
"""
import os
import time

import weechat

INTERVAL_MS = 50

state = {"hook": "", "start": 0.0, "calls": 0, "worst": 0.0, "worst_at": 0.0}


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
        f.write(f"{seq} {state['worst'] * 1000:.1f} {state['calls']} {state['worst_at']:.3f}\n")
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
