#!/usr/bin/python3
"""The WeeChat plug-in under load and under a flood, end to end on loopback.

One ngircd, WeeChat with the plug-in (4 slots) and 50 IRC clients that
each find 5 times and fetch 3 files a round, for three rounds; in the
third, flooders send 10,000 finds and malformed CTCP meanwhile, and names
of 1 and 10 KB come last. Checks that every answer and file arrives byte
for byte, that no more than the slots (and a user's sends_per_user) run at
once, that WeeChat's thread is never held up (a 50 ms timer inside
WeeChat, tests/irc/timer_probe.py), that WeeChat's memory is the same
after the second round as after the first, and that flooders are ignored
without the others noticing. Prints each round's throughput, the timer's
worst lateness and WeeChat's memory, then all of them on one line.

  load_test.py --plugin /abs/build/linux/bin/weechat/quorbel.so

Every check prints PASS or FAIL with its name; the last line reads
"N passed, N failed" and the exit status is 0 only when all passed.
QUORBEL_KEEP=1 keeps the temporary folder.
"""
import argparse
import collections
import os
import random
import re
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_test as st  # noqa: E402
from serve_test import CHANNEL, NICK, SERVER, wait_until  # noqa: E402

DEADLINE = 60  # seconds for the whole run, set-up included
CLIENTS = 50
SLOTS = 4
SENDS_PER_USER = 1  # the plug-in's default, left as it is
QUEUE_SIZE = 200  # room for every client's 3 requests at once
FINDS = 5
FILES = 3
# find_interval 1 s is the least that still ignores a flood of finds; the
# plug-in counts whole seconds, so a user's finds go 1.5 s apart here.
FIND_INTERVAL = 1
FIND_GAP = 1.5
HOLD = 0.5  # seconds the first client holds its first send of a round
FLOOD_CHANNEL = "#flood"
FLOOD_FINDS = 5000  # per flooder, two of them
PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "timer_probe.py")
WORST_LATENESS_MS = 100
# Memory is WeeChat's heap in use (malloc's count, read inside WeeChat by
# the probe): the resident size moves by some 400 kB from round to round
# with how the heap happens to be cut up, which would hide a leak. Round 2
# repeats round 1 into buffers already full (their lines are capped below)
# and an emptied xfer list; it adds about 55 kB, as xfer keeps some 300 B
# per send even once purged (so does /dcc send alone); round 3 with its
# flood about 80 kB. A leak of 1 KB per find or request (400 a round)
# would add 400 kB; 100 B per line read, 1 MB in round 3.
HEAP_SLACK_KB = 192

# Ten words, group i has i % 5 + 1 songs of that word: "@find word" answers
# with exactly those; "@find song" matches all 30 and is answered with 5.
WORDS = ["Amber", "Birch", "Cedar", "Dune", "Ember", "Fjord", "Glade", "Heron", "Iris", "Juniper"]
SONGS = {f"{w} Song {n}.mp3": random.Random(f"{w}{n}").randrange(150_000, 450_000)
         for i, w in enumerate(WORDS) for n in range(1, i % 5 + 2)}
NAMES = sorted(SONGS)
QUEUED = re.compile(r".+ is queued: place \d+ \(\d+ sending\)$")
IGNORED = "you are ignored"
FLOOD_WORDS = ["Amber", "Fjord"]  # a song each


def listed_name(text):
    """The song a list line names, or None."""
    return next((n for n in NAMES if text.startswith(f"!{NICK} {n}")), None)


def matches(pattern):
    return [n for n in NAMES if pattern.lower() in n.lower()]


def finds_of(client, rnd):
    """A client's five patterns in a round: four words, then "song"."""
    return [WORDS[(client + rnd * 4 + j) % len(WORDS)] for j in range(FINDS - 1)] + ["song"]


def files_of(client, rnd):
    return [NAMES[(client * FILES + rnd * 11 + k) % len(NAMES)] for k in range(FILES)]


Transfer = collections.namedtuple("Transfer", "nick name start end ok size")


class LoadSetup(st.Setup):
    """WeeChat with its python plug-in and the timer probe too, and with
    buffers kept short: a round fills them, so the next one adds no lines to
    hold and memory after two rounds can be compared."""

    songs = SONGS
    plugins = st.Setup.plugins + ",python"

    def startup_commands(self):
        return ["/set weechat.history.max_buffer_lines_number 100", f"/python load {PROBE}"]

    def __init__(self, root, plugin):
        super().__init__(root, plugin)
        self.probe_seq = 0

    def make_music(self):
        super().make_music()
        self.bytes = {}
        for name in SONGS:
            with open(st.song_path(self, name), "rb") as f:
                self.bytes[name] = f.read()

    def probe(self):
        """The timer's worst lateness in ms since its reset, its calls, the
        time.time() of the worst and WeeChat's heap in use in kB."""
        self.probe_seq += 1
        seq = str(self.probe_seq)
        path = os.path.join(self.wcdir, "timer_probe.txt")

        def written():
            try:
                with open(path) as f:
                    words = f.read().split()
            except OSError:
                return None
            return words if words and words[0] == seq else None

        self.weechat_command(f"/timer_probe report {seq}")
        words = wait_until(written, 5)
        if not words:
            raise RuntimeError("the timer probe did not report within 5 s")
        return float(words[1]), int(words[2]), float(words[3]), int(words[4])

    def rss_kb(self):
        with open(f"/proc/{self.weechat.pid}/status") as f:
            return int(re.search(r"VmRSS:\s+(\d+) kB", f.read()).group(1))

class LoadClient(st.Client):
    """A client that fetches each offer on a thread of its own as it comes;
    the next one it is offered it holds `hold` seconds before its last
    acknowledgement."""

    def __init__(self, irc_net, nick, setup, transfers):
        self.setup, self.transfers = setup, transfers
        self.hold = 0.0
        super().__init__(irc_net, nick)

    def on_event(self, event):
        seen = len(self.offers)
        super().on_event(event)
        for offer in self.offers[seen:]:
            threading.Thread(target=self.fetch, args=(offer, self.hold), daemon=True).start()
            self.hold = 0.0

    def fetch(self, offer, hold):
        try:
            data, end = st.receive(offer, hold)
            ok = data == self.setup.bytes.get(offer.name)
        except Exception:
            data, end, ok = b"", time.monotonic(), False
        self.transfers.append(Transfer(self.nick, offer.name, offer.time, end, ok, len(data)))


class Raw:
    """A user on a bare socket: python3-irc refuses lines over 512 bytes."""

    def __init__(self, port, nick, channel):
        self.nick = nick
        self.notices, self.offers, self.errors = [], [], []
        self.registered, self.joined, self.closed = threading.Event(), threading.Event(), threading.Event()
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        threading.Thread(target=self.read, daemon=True).start()
        self.send(f"NICK {nick}", f"USER {nick} 0 * :{nick}")
        if not self.registered.wait(5):
            raise RuntimeError(f"{nick} was not let in")
        self.send(f"JOIN {channel}")
        if not self.joined.wait(5):
            raise RuntimeError(f"{nick} could not join {channel}")

    def send(self, *lines):
        self.sock.sendall(b"".join(line.encode("latin-1") + b"\r\n" for line in lines))

    def read(self):
        rest = b""
        try:
            while block := self.sock.recv(65536):
                *lines, rest = (rest + block).split(b"\n")
                for line in lines:
                    self.on_line(line.rstrip(b"\r").decode("utf-8", "replace"))
        except OSError:
            pass
        self.closed.set()

    def on_line(self, line):
        words = line.split(" ", 3)
        if words[0] == "PING":
            self.send("PONG " + line[5:])
        elif words[0] == "ERROR":
            self.errors.append(line)
        elif len(words) > 1 and words[1] == "001":
            self.registered.set()
        elif len(words) > 2 and words[1] == "JOIN" and words[0][1:].startswith(self.nick + "!"):
            self.joined.set()
        elif len(words) > 3 and words[0][1:].startswith(NICK + "!") and words[2] == self.nick:
            text = words[3][1:]
            (self.offers if "\x01DCC" in text else self.notices).append(text)


def concurrency(transfers, key=lambda t: ""):
    """The most intervals [offer, last ack] of one key that overlap: each is
    within the time its send held a slot, so more than the limit at once
    proves the limit broken. Returns (most, key where)."""
    events = collections.defaultdict(list)
    for t in transfers:
        events[key(t)] += [(t.start, 1), (t.end, -1)]
    most, where = 0, None
    for k, evs in events.items():
        now = 0
        for _, step in sorted(evs):  # at equal times an end comes first
            now += step
            if now > most:
                most, where = now, k
    return most, where


class Flood:
    """Two flooders of finds and one of malformed CTCP, in a served channel
    of their own: the 50 clients share one python reactor, which 10,000
    channel lines each would hold up, while WeeChat and the plug-in handle
    every served channel alike."""

    def __init__(self, setup):
        self.setup = setup
        self.finders = [Raw(setup.port, f"flood{i}", FLOOD_CHANNEL) for i in (1, 2)]
        self.ctcp = Raw(setup.port, "garbler", FLOOD_CHANNEL)
        self.threads = []

    def start(self):
        for raw, word in zip(self.finders, FLOOD_WORDS):
            self.threads.append(threading.Thread(target=self.find_flood, args=(raw, word), daemon=True))
        self.threads.append(threading.Thread(target=self.garble, daemon=True))
        for t in self.threads:
            t.start()

    def find_flood(self, raw, word):
        # One match per answered find; then files, which an ignored user
        # must never get into the queue. Paced over the clients' finds: in
        # one burst the flood would wait in ngircd's and WeeChat's socket
        # buffers ahead of them, delay them unevenly and bunch two of a
        # user's finds into one second, which find_interval rightly takes
        # for flooding.
        line = f"PRIVMSG {FLOOD_CHANNEL} :@find {word}"
        batches = FLOOD_FINDS // 100
        for i in range(batches):
            raw.send(*[line] * 100)
            time.sleep(FIND_GAP * (FINDS - 1) / batches)
        raw.send(*[f"PRIVMSG {FLOOD_CHANNEL} :!{NICK} {name}" for name in NAMES[:5]])

    def garble(self):
        # Numeric addresses only: WeeChat must have nothing to look up.
        bad = ["\x01DCC SEND unterminated", "\x01", "\x01\x01", "\x01DCC\x01", "\x01DCC SEND\x01",
               "\x01DCC SEND onlyaname\x01", "\x01DCC SEND x.mp3 0 0 0\x01", "\x01DCC SEND x.mp3 -1 -1 -1\x01",
               '\x01DCC SEND "x.mp3 2130706433 1 1\x01', "\x01DCC SEND x.mp3 2130706433 99999 many\x01",
               "\x01DCC RESUME x.mp3 1 0\x01", "\x01DCC RESUME x.mp3 99999 12345678901234567890\x01",
               "\x01DCC ACCEPT x.mp3 1 0\x01", "\x01DCC ACCEPT\x01", "\x01@find amber\x01"]
        for target in (FLOOD_CHANNEL, NICK):
            self.ctcp.send(*[f"PRIVMSG {target} :{text}" for text in bad])

    def join(self, timeout):
        end = time.monotonic() + timeout
        for t in self.threads:
            t.join(max(0, end - time.monotonic()))
        return not any(t.is_alive() for t in self.threads)


def run(setup, checks, figures):
    transfers = []
    net = setup.net
    setup.weechat_command(f"/join {FLOOD_CHANNEL}", f"irc.server.{SERVER}")
    for command in (f"/plugin load {setup.plugin}",
                    f"/set quorbel.serve.ini {setup.ini}",
                    f"/set quorbel.serve.directory {setup.lists}",
                    f"/set quorbel.serve.channels {SERVER}.{CHANNEL},{SERVER}.{FLOOD_CHANNEL}",
                    f"/set quorbel.serve.slots {SLOTS}",
                    f"/set quorbel.serve.queue_size {QUEUE_SIZE}",
                    f"/set quorbel.serve.find_interval {FIND_INTERVAL}",
                    "/quorbel generate"):
        setup.weechat_command(command)

    def ready():
        if not wait_until(lambda: setup.logged("/quorbel status", r"idle; list: /", 1), 15, step=0):
            return "no list made within 15 s"
        clients.extend(LoadClient(net, f"user{i:02}", setup, transfers) for i in range(CLIENTS))
        return None

    clients = []
    start = time.monotonic()
    if not checks.run(f"the list made, {CLIENTS} clients joined {CHANNEL}", ready):
        return
    print(f"  {CLIENTS} clients joined in {time.monotonic() - start:.1f} s", flush=True)

    for rnd in range(3):
        one_round(setup, checks, clients, transfers, rnd, Flood(setup) if rnd == 2 else None, figures)
        # The plug-in purges xfer's list of ended transfers past 50 of them;
        # the rest are purged here, so that rounds end with the same list.
        setup.weechat_command("p", "xfer.xfer.list")
        time.sleep(1)
        figures["rss"].append(setup.rss_kb())
        figures["heap"].append(setup.probe()[3])
        print(f"  WeeChat after round {rnd + 1}: {figures['heap'][-1]} kB of heap in use, "
              f"VmRSS {figures['rss'][-1]} kB", flush=True)
        if rnd > 0:
            heap = figures["heap"]
            checks.run(f"WeeChat's memory after round {rnd + 1} is that after round {rnd} (heap within {HEAP_SLACK_KB} kB)",
                       lambda: None if abs(heap[-1] - heap[-2]) <= HEAP_SLACK_KB else f"{heap[-2]} kB, then {heap[-1]} kB")

    def limits():
        most, _ = concurrency(transfers)
        per_user, nick = concurrency(transfers, key=lambda t: t.nick)
        print(f"  at once, seen by the clients: {most} sends, {per_user} to one user ({nick})", flush=True)
        problems = []
        if most > SLOTS:
            problems.append(f"{most} sends at once, {SLOTS} slots")
        if per_user > SENDS_PER_USER:
            problems.append(f"{per_user} sends at once to {nick}, sends_per_user {SENDS_PER_USER}")
        found = setup.logged("/quorbel stats", r"(\d+) sends done, (\d+) failed.*at most (\d+) at once")
        if not found:
            problems.append("/quorbel stats says no \"at most N at once\"")
        else:
            done, failed, at_once = (int(g) for g in found.groups())
            if (done, failed) != (len(transfers), 0):
                problems.append(f"/quorbel stats: {done} done, {failed} failed; {len(transfers)} received")
            if not most <= at_once <= SLOTS:
                problems.append(f"/quorbel stats: at most {at_once} at once; the clients saw {most}")
        return "; ".join(problems) or None

    checks.run(f"never more than {SLOTS} sends at once, nor more than {SENDS_PER_USER} to one user; "
               "/quorbel stats agrees", limits)
    long_lines(setup, checks, clients[0])


def long_lines(setup, checks, asker):
    """Names of 1 and 10 KB, past IRC's 512 bytes, written raw as a hostile
    client would. Last of all: ngircd stops reading a client whose line
    outgrows its 2 KB buffer, and then spins."""
    ngircd = setup.procs.running[0].pid

    def ticks():
        with open(f"/proc/{ngircd}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])  # utime, stime

    def answered_after():
        raws = []
        for size in (1024, 10240):
            raw = Raw(setup.port, f"long{size // 1024}k", FLOOD_CHANNEL)
            raw.send(f"PRIVMSG {FLOOD_CHANNEL} :!{NICK} " + "x" * (size - 4) + ".mp3")
            raws.append(raw)
        before = ticks()
        time.sleep(1)
        busy = (ticks() - before) / os.sysconf("SC_CLK_TCK")
        for raw in raws:
            print(f"  {raw.nick}: " + (f"ngircd closed the connection, {raw.errors}" if raw.closed.is_set()
                                      else "ngircd left the connection open, no ERROR"), flush=True)
        print(f"  ngircd used {busy:.0%} of a CPU in the second after", flush=True)
        seen = len(asker.notices)
        asker.say("@find amber")
        if not wait_until(lambda: any(listed_name(t) for _, t in asker.notices[seen:]), 5):
            return f"{asker.nick}'s find was not answered within 5 s"
        said = [r.notices + r.offers for r in raws if r.notices or r.offers]
        return f"answered: {said}" if said else None

    checks.run("names of 1 and 10 KB: no answer, and the plug-in still answers a find", answered_after)


def one_round(setup, checks, clients, transfers, rnd, flood, figures):
    name = f"round {rnd + 1}" + (" (flooded)" if flood else "")
    start, wall, seen = time.monotonic(), time.time(), len(transfers)
    notices_before = {c.nick: len(c.notices) for c in clients}
    setup.weechat_command("/timer_probe reset")
    statuses = []
    if flood:
        flood.start()
    # The first client asks alone, while the queue is empty, and holds its
    # first send: were a user's sends not limited, its other two would be
    # offered meanwhile.
    clients[0].hold = HOLD
    for i, c in enumerate(clients):
        for file in files_of(i, rnd):
            c.say(f"!{NICK} {file}")
        if i == 0:
            time.sleep(0.1)
    for j in range(FINDS):
        if j:
            time.sleep(FIND_GAP)
            if flood:
                statuses.append(setup.logged("/quorbel status", r"sending (\d+), waiting (\d+)", 2))
        for i, c in enumerate(clients):
            c.say(f"@find {finds_of(i, rnd)[j]}")
    wanted = CLIENTS * FILES
    wait_until(lambda: len(transfers) - seen >= wanted, 25)
    # The finds' last notices, and any offer that should not come.
    notices = lambda: sum(len(c.notices) for c in clients)
    count = -1
    while count != notices():
        count = notices()
        time.sleep(0.5)
    got = transfers[seen:]

    def files():
        problems = []
        for i, c in enumerate(clients):
            mine = sorted(t.name for t in got if t.nick == c.nick)
            if mine != sorted(files_of(i, rnd)):
                problems.append(f"{c.nick} got {mine}, asked for {sorted(files_of(i, rnd))}")
        bad = [f"{t.nick} {t.name}: {t.size} bytes" for t in got if not t.ok]
        return "; ".join((problems + bad)[:5]) or None

    checks.run(f"{name}: {wanted} files arrive, each to the client that asked, byte for byte", files)

    def finds():
        problems = []
        for i, c in enumerate(clients):
            texts = [t for _, t in c.notices[notices_before[c.nick]:]]
            lines = collections.Counter(listed_name(t) for t in texts if listed_name(t))
            others = [t for t in texts if not listed_name(t) and not QUEUED.match(t)]
            want = collections.Counter(n for p in finds_of(i, rnd)[:-1] for n in matches(p))
            rest = lines - want
            if want - lines or sum(rest.values()) != 5 or max(rest.values(), default=0) > 1 \
                    or others:
                problems.append(f"{c.nick}: list lines {dict(lines)}, other notices {others}")
        return "; ".join(problems[:3]) or None

    checks.run(f"{name}: every find answered in full, no other notice than queue places", finds)

    worst, calls, worst_at, _ = setup.probe()
    figures["late"].append(worst)
    print(f"  {name}: WeeChat's timer at worst {worst:.1f} ms late ({worst_at - wall:.1f} s in), "
          f"{calls} calls", flush=True)
    checks.run(f"{name}: WeeChat's 50 ms timer never over {WORST_LATENESS_MS} ms late",
               lambda: None if worst <= WORST_LATENESS_MS and calls > 0 else f"{worst:.1f} ms late, {calls} calls")
    if got:
        # Loopback throughput: the bytes received from the first offer to
        # the last acknowledgement.
        size = sum(t.size for t in got if t.ok)
        span = max(t.end for t in got) - min(t.start for t in got)
        figures["rate"].append(size / 1e6 / span)
        print(f"  {name}: {size / 1e6:.1f} MB in {span:.2f} s, {figures['rate'][-1]:.1f} MB/s; "
              f"the round took {time.monotonic() - start:.1f} s", flush=True)
    if flood:
        flood_checks(setup, checks, flood, statuses)


def flood_checks(setup, checks, flood, statuses):
    def taken_in():
        log = next((p for p in setup.log_files() if FLOOD_CHANNEL in p), None)
        count = lambda: open(log, "rb").read().count(b"\t@find ") if log else 0
        took = wait_until(lambda: count() >= 2 * FLOOD_FINDS, 10)
        return None if took and flood.join(1) else f"WeeChat logged {count()} of {2 * FLOOD_FINDS} finds"

    checks.run(f"the flood's {2 * FLOOD_FINDS} finds all reached WeeChat", taken_in)

    def alive():
        if setup.weechat.poll() is not None:
            return f"WeeChat ended with status {setup.weechat.returncode}"
        return None if setup.logged("/quorbel status", r"idle") else "/quorbel status does not answer"

    checks.run("WeeChat runs and the plug-in answers after the flood", alive)

    def ignored():
        problems = []
        for raw, word in zip(flood.finders, FLOOD_WORDS):
            said = collections.Counter("ignored" if IGNORED in t else listed_name(t) or t for t in raw.notices)
            answered, told = said.pop(matches(word)[0], 0), said.pop("ignored", 0)
            print(f"  {raw.nick}: {answered} of {FLOOD_FINDS} finds answered, {told} notice that it is "
                  f"ignored, {len(said)} other notices, {len(raw.offers)} offers", flush=True)
            # The plug-in counts whole seconds: a flood begun late in one may
            # have a second find answered before the ignoring starts.
            if told != 1 or not 1 <= answered <= 2 or said or raw.offers:
                problems.append(f"{raw.nick}: notices {raw.notices[:6]}, offers {raw.offers}")
        return "; ".join(problems) or None

    checks.run("each flooder: its first finds answered, one notice that it is ignored, then nothing", ignored)

    def garbled():
        said = flood.ctcp.notices + flood.ctcp.offers
        return f"answered: {said}" if said else None

    checks.run("malformed CTCP, to the channel and to the plug-in's nick: no answer, no offer", garbled)

    def queue():
        got = [(int(m.group(1)), int(m.group(2))) for m in statuses if m]
        if len(got) < len(statuses) or not got:
            return f"/quorbel status answered {len(got)} of {len(statuses)} times during the flood"
        print(f"  during the flood: sending at most {max(s for s, _ in got)}, waiting at most {max(w for _, w in got)}")
        return None if all(s <= SLOTS and w <= QUEUE_SIZE for s, w in got) else f"sending, waiting: {got}"

    checks.run(f"during the flood: sending at most {SLOTS}, waiting at most {QUEUE_SIZE}", queue)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--plugin", required=True, help="absolute path of the plug-in quorbel.so")
    args = parser.parse_args()
    if not os.path.isfile(args.plugin):
        sys.exit(f"load_test: no plug-in at {args.plugin}")

    began = time.monotonic()
    figures = collections.defaultdict(list)
    checks = st.run_checks("load", lambda root: LoadSetup(root, os.path.abspath(args.plugin)), DEADLINE,
                           lambda setup, checks: run(setup, checks, figures))
    print("  figures: " + ", ".join(f"{r:.1f}" for r in figures["rate"]) + " MB/s; timer at worst "
          + ", ".join(f"{w:.0f}" for w in figures["late"]) + " ms late; heap in use "
          + ", ".join(str(k) for k in figures["heap"]) + " kB, VmRSS "
          + ", ".join(str(k) for k in figures["rss"]) + f" kB; {time.monotonic() - began:.0f} s in all")
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
