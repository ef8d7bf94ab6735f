#!/usr/bin/python3
"""The WeeChat plug-in serving a list in an IRC channel, end to end on loopback.

Starts ngircd on 127.0.0.1 at a free port, a headless WeeChat that joins
#music, loads the plug-in and makes a list of a small music folder, and IRC
clients that ask it for finds, files and the list. Files come by DCC to a
plain socket here and are compared with the files on disk.

  serve_test.py --plugin /abs/build/linux/bin/weechat/quorbel.so
  serve_test.py --plumbing    no plug-in: WeeChat's own /dcc send checks the harness

Every check prints PASS or FAIL with its name; the last line reads
"N passed, N failed" and the exit status is 0 only when all passed.
QUORBEL_KEEP=1 keeps the temporary folder.
"""
import argparse
import collections
import os
import pwd
import random
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

import irc.buffer
import irc.client

NICK = "qserv"  # WeeChat's nick, and the list's nick=
CHANNEL = "#music"
SERVER = "test"  # WeeChat's name for the server
DEADLINE = 100  # seconds for the whole run

# Name -> size. Blanks in names; "train" is in three names, "mp3" in all seven.
SONGS = {
    "Slow Train Home.mp3": 180_000,
    "Night Train.mp3": 95_001,
    "Last Train West.mp3": 123_457,
    "Open Road.mp3": 300_000,
    "Blue Sky Song.mp3": 64_000,
    "Rain On The Roof.mp3": 210_003,
    "Red Sun Rising.mp3": 77_777,
}

Offer = collections.namedtuple("Offer", "time name ip port size")
QUEUE_NOTICE = re.compile(r"(?i)(?=.*queue)(?=.*\d)")  # "queue" and a place number
VERBOSE = False


class OutOfTime(BaseException):
    """The whole run's deadline; not an Exception, so that no check takes it
    for its own failure and the run goes on."""


def wait_until(predicate, timeout, step=0.05):
    """The predicate's first true value within timeout seconds, else None."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value or None
        time.sleep(step)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Lines(irc.buffer.LineBuffer):
    """UTF-8 lines, or Latin-1 where a line is not UTF-8 (list lines may be
    single-byte text), so that no line is lost to a decoding error."""

    def lines(self):
        for line in super().lines():
            try:
                yield line.decode("utf-8")
            except UnicodeDecodeError:
                yield line.decode("latin-1")


irc.client.ServerConnection.buffer_class = Lines
Reactor = getattr(irc.client, "Reactor", None) or irc.client.IRC  # IRC before python3-irc 12

# DCC SEND "name with blanks" ip port size, or the name unquoted.
OFFER = re.compile(r'SEND (?:"(?P<quoted>[^"]*)"|(?P<bare>.+)) (?P<ip>\S+) (?P<port>\d+) (?P<size>\d+)$')


class Client:
    """One IRC user; the reactor thread records what the plug-in sends it."""

    def __init__(self, irc_net, nick):
        self.nick = nick
        self.notices = []  # (time, text) of private notices from NICK
        self.offers = []  # Offer from NICK's DCC SEND
        self.accepts = []  # NICK's DCC ACCEPT of a resume, as sent
        self.channel_lines = []  # NICK's messages to CHANNEL
        self.joined = threading.Event()
        self.conn = irc_net.connect(self, nick)
        self.conn.join(CHANNEL)
        if not self.joined.wait(5):
            raise RuntimeError(f"{nick} could not join {CHANNEL}")

    def say(self, text):
        if VERBOSE:
            print(f"  {self.nick} -> {CHANNEL}: {text!r}", flush=True)
        self.conn.privmsg(CHANNEL, text)

    def clear(self):
        self.notices.clear()

    def texts(self):
        return [text for _, text in self.notices]

    def quiet_notices(self, first=5.0, quiet=1.0):
        """The notices of one answer: waits up to `first` seconds for the
        first, then until none has come for `quiet` seconds."""
        if not wait_until(lambda: self.notices, first):
            return []
        count = -1
        while count != len(self.notices):
            count = len(self.notices)
            time.sleep(quiet)
        return self.texts()

    def next_offer(self, seen, timeout=10.0):
        """The first offer after the `seen` ones, waiting for it."""
        return wait_until(lambda: self.offers[seen] if len(self.offers) > seen else None, timeout)

    def on_event(self, event):
        if event.type == "join":
            if event.source.nick == self.nick:
                self.joined.set()
            return
        if event.source.nick != NICK:
            return
        now = time.monotonic()
        if VERBOSE:
            print(f"  {NICK} -> {self.nick}: {event.type} {event.arguments}", flush=True)
        if event.type == "privnotice":
            self.notices.append((now, event.arguments[0]))
        elif event.type == "pubmsg":
            self.channel_lines.append(event.arguments[0])
        elif event.type == "ctcp" and event.arguments[0] == "DCC" and len(event.arguments) > 1:
            if event.arguments[1].startswith("ACCEPT "):
                self.accepts.append(event.arguments[1])
                return
            m = OFFER.match(event.arguments[1])
            if m:
                name = m["quoted"] if m["quoted"] is not None else m["bare"]
                ip = m["ip"]
                if ip.isdigit():
                    ip = socket.inet_ntoa(struct.pack("!I", int(ip)))
                self.offers.append(Offer(now, name, ip, int(m["port"]), int(m["size"])))
            else:
                self.offers.append(Offer(now, "unreadable: " + event.arguments[1], "", 0, 0))


class IrcNet:
    """The clients' connections, served by one reactor on a thread of its own
    so that every notice and offer is stamped when it arrives, also while
    the main thread receives a file."""

    def __init__(self, port):
        self.port = port
        self.reactor = Reactor()
        self.clients = {}
        self.stop = threading.Event()
        self.nick_joins = collections.Counter()
        for kind in ("privnotice", "ctcp", "join", "pubmsg"):
            self.reactor.add_global_handler(kind, self.dispatch)
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def connect(self, client, nick):
        conn = self.reactor.server().connect("127.0.0.1", self.port, nick)
        self.clients[conn] = client
        return conn

    def dispatch(self, conn, event):
        if event.type == "join" and event.source.nick == NICK:
            self.nick_joins[event.target.lower()] += 1
        client = self.clients.get(conn)
        if client:
            client.on_event(event)

    def run(self):
        while not self.stop.is_set():
            self.reactor.process_once(0.05)

    def close(self):
        self.stop.set()
        self.thread.join(2)
        self.reactor.disconnect_all()


def ack(count):
    return struct.pack("!I", count & 0xFFFFFFFF)


def receive(offer, hold=0.0, have=b"", hang_up_at=None):
    """Fetches an offered file as a DCC receiver: every block is acknowledged
    with the count so far; the last acknowledgement waits `hold` seconds,
    which keeps the transfer unfinished that long. `have` holds the bytes of
    a broken transfer being resumed (the counts include them); with
    `hang_up_at` the receiver hangs up once it holds that many bytes.
    Returns the bytes and the moment the last acknowledgement went out: the
    transfer's completion, as the sender cannot know of it any sooner."""
    if offer.ip != "127.0.0.1":
        raise RuntimeError(f"offer for {offer.ip}, not 127.0.0.1; not connecting")
    data = bytearray(have)
    end = offer.size if hang_up_at is None else hang_up_at
    with socket.create_connection((offer.ip, offer.port), timeout=10) as s:
        while len(data) < end:
            block = s.recv(min(65536, end - len(data)))
            if not block:
                break
            data += block
            if len(data) < offer.size:
                s.sendall(ack(len(data)))
        if hang_up_at is not None:
            return bytes(data), time.monotonic()
        time.sleep(hold)
        finished = time.monotonic()
        s.sendall(ack(len(data)))
        rest = s.recv(65536)  # anything beyond the size, until the sender closes
        while rest:
            data += rest
            rest = s.recv(65536)
    return bytes(data), finished


class Processes:
    """ngircd and WeeChat, each in a process group of its own so that
    WeeChat's sending children go with it."""

    def __init__(self):
        self.running = []

    def start(self, argv, log):
        with open(log, "wb") as out:
            p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.STDOUT, start_new_session=True)
        self.running.append(p)
        return p

    def stop_all(self):
        for p in reversed(self.running):
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGTERM)
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait(5)
            else:  # children of a process that ended may still run
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass


class Setup:
    songs = SONGS  # the music folder's files: name -> size
    plugins = "irc,xfer,fifo,logger,charset"  # WeeChat's plug-ins loaded at start

    def startup_commands(self):
        """Commands WeeChat runs at start, before it connects."""
        return []

    def __init__(self, root, plugin):
        self.root = root
        self.plugin = plugin
        self.music = os.path.join(root, "Music")
        self.lists = os.path.join(root, "lists")
        self.ini = os.path.join(root, "list.ini")
        self.wcdir = os.path.join(root, "weechat")
        self.ngdir = os.path.join(root, "ngircd")
        self.port = free_port()
        self.procs = Processes()
        self.weechat = None
        self.fifo = None
        self.net = None

    def make_music(self):
        os.makedirs(self.music)
        os.makedirs(self.lists)
        for name, size in self.songs.items():
            # An MPEG frame header, then bytes of the name's own, so that a
            # shifted or mixed-up transfer never compares equal.
            body = random.Random(name).randbytes(size - 4)
            with open(os.path.join(self.music, name), "wb") as f:
                f.write(b"\xff\xfb\x90\x44" + body)
        with open(self.ini, "w") as f:
            f.write(f"[listmake]\nnick={NICK}\nmethod=sbqt\n[Extension]\n1=*.mp3\n[drive]\n1={self.music}\n")

    def start_ngircd(self):
        os.makedirs(self.ngdir)
        conf = os.path.join(self.ngdir, "ngircd.conf")
        run_as = ""
        if os.geteuid() == 0:
            # ngircd will not stay root: it becomes nobody, which must reach
            # its PID file in our folder.
            nobody = pwd.getpwnam("nobody")
            run_as = f"ServerUID = {nobody.pw_uid}\nServerGID = {nobody.pw_gid}\n"
            os.chmod(self.root, 0o711)
            os.chown(self.ngdir, nobody.pw_uid, nobody.pw_gid)
        with open(conf, "w") as f:
            f.write(f"""[Global]
Name = irc.quorbel.test
Info = quorbel serving test
Listen = 127.0.0.1
Ports = {self.port}
PidFile = {self.ngdir}/ngircd.pid
MotdPhrase = quorbel serving test
{run_as}[Limits]
MaxConnectionsIP = 0
MaxNickLength = 30
; no penalty pauses: the requests of a test come in bursts
MaxPenaltyTime = 0
[Options]
PAM = no
DNS = no
Ident = no
[Channel]
Name = {CHANNEL}
""")
        self.procs.start(["ngircd", "-n", "-f", conf], os.path.join(self.root, "ngircd.log"))

        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False

        if not wait_until(listening, 5):
            raise RuntimeError(f"ngircd is not listening on 127.0.0.1:{self.port}")

    def start_weechat(self):
        os.makedirs(self.wcdir, exist_ok=True)  # a restart keeps WeeChat's folder
        commands = [
            *self.startup_commands(),
            "/set logger.file.flush_delay 0",  # buffer lines reach the logs at once
            "/set xfer.network.own_ip 127.0.0.1",
            "/set xfer.file.convert_spaces off",
            # WeeChat spaces its messages 2 s apart by default; the checks
            # are about what the plug-in sends, not that pacing.
            "/set irc.server_default.anti_flood_prio_high 0",
            "/set irc.server_default.anti_flood_prio_low 0",
            f"/server add {SERVER} 127.0.0.1/{self.port} -nossl -autojoin={CHANNEL}",
            f"/set irc.server.{SERVER}.nicks {NICK}",
            f"/connect {SERVER}",
        ]
        self.weechat = self.procs.start(
            ["weechat-headless", "--dir", self.wcdir, "--stdout",
             "-P", self.plugins, "-r", ";".join(commands)],
            os.path.join(self.root, f"weechat{len(self.procs.running)}.out"))
        fifo = os.path.join(self.wcdir, f"weechat_fifo_{self.weechat.pid}")
        if not wait_until(lambda: os.path.exists(fifo), 10):
            raise RuntimeError("WeeChat's FIFO did not appear")
        # Open for the whole run: each time the last writer closes, WeeChat
        # reopens its end, and what is written meanwhile is lost.
        self.fifo = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)

    def restart_weechat(self):
        """Ends WeeChat as a user would (SIGTERM: it saves its settings and
        unloads its plug-ins) and starts it again on the same folder, joined."""
        joins = self.net.nick_joins[CHANNEL]
        os.close(self.fifo)
        self.fifo = None
        os.killpg(self.weechat.pid, signal.SIGTERM)
        self.weechat.wait(10)
        self.start_weechat()
        if not wait_until(lambda: self.net.nick_joins[CHANNEL] > joins, 15):
            raise RuntimeError(f"WeeChat did not join {CHANNEL} again after its restart")

    def weechat_command(self, command, buffer="core.weechat"):
        """Runs a command in WeeChat through its FIFO."""
        os.write(self.fifo, f"{buffer} *{command}\n".encode())

    def log_files(self):
        logs = os.path.join(self.wcdir, "logs")
        return sorted(os.path.join(logs, n) for n in os.listdir(logs)) if os.path.isdir(logs) else []

    def log_sizes(self):
        return {path: os.path.getsize(path) for path in self.log_files()}

    def log_text_since(self, sizes):
        """What WeeChat's buffers logged after `sizes` was taken."""
        text = ""
        for path in self.log_files():
            with open(path, "rb") as f:
                f.seek(sizes.get(path, 0))
                text += f.read().decode("utf-8", "replace")
        return text

    def logged(self, command, pattern, timeout=5):
        """Runs a WeeChat command; the first match of `pattern` in what the
        buffers log after it, within `timeout` seconds, else None."""
        sizes = self.log_sizes()
        self.weechat_command(command)
        return wait_until(lambda: re.search(pattern, self.log_text_since(sizes)), timeout)

    def logs_tail(self, lines=40):
        out = []
        outs = sorted(n for n in os.listdir(self.root) if re.match(r"weechat\d*\.out$", n))
        for path in [*(os.path.join(self.root, n) for n in outs), *self.log_files(),
                     os.path.join(self.root, "ngircd.log")]:
            if os.path.exists(path):
                with open(path, "rb") as f:
                    tail = f.read().decode("utf-8", "replace").splitlines()[-lines:]
                out.append(f"--- {os.path.relpath(path, self.root)} (last {len(tail)} lines)")
                out.extend(tail)
        return "\n".join(out)

    def start(self):
        self.make_music()
        self.start_ngircd()
        self.net = IrcNet(self.port)
        self.alice = Client(self.net, "alice")  # in the channel before WeeChat, to see it join
        self.start_weechat()
        if not wait_until(lambda: self.net.nick_joins[CHANNEL], 15):
            raise RuntimeError(f"WeeChat did not join {CHANNEL} as {NICK}")

    def stop(self):
        if self.net:
            self.net.close()
        if self.fifo is not None:
            os.close(self.fifo)
        self.procs.stop_all()


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def run(self, name, body):
        """One named check: body returns None when it passed, else why not;
        an exception fails the check, not the run. True when it passed."""
        try:
            problem = body()
        except Exception as e:
            problem = f"{type(e).__name__}: {e}"
        if problem:
            self.failed += 1
            print(f"FAIL {name}: {problem}", flush=True)
            return False
        self.passed += 1
        print(f"PASS {name}", flush=True)
        return True


def song_path(setup, name):
    return os.path.join(setup.music, name)


def same_file(data, path):
    with open(path, "rb") as f:
        want = f.read()
    if data == want:
        return None
    at = next((i for i, (a, b) in enumerate(zip(data, want)) if a != b), min(len(data), len(want)))
    return f"{len(data)} bytes received, {len(want)} on disk, first difference at byte {at}"


def fetch_and_compare(client, seen, name, path, hold=0.0):
    """Waits for the offer after `seen`, checks it names `name`, fetches it
    and compares it with `path`. Returns (problem, offer, finished)."""
    offer = client.next_offer(seen)
    if not offer:
        return f"no DCC offer for {name!r} within 10 s; notices: {client.texts()}", None, None
    if offer.name != name:
        return f"offer names {offer.name!r}, not {name!r}", offer, None
    if offer.size != os.path.getsize(path):
        return f"offer gives size {offer.size}, the file has {os.path.getsize(path)}", offer, None
    data, finished = receive(offer, hold)
    return same_file(data, path), offer, finished


def plumbing_checks(setup, checks):
    """The harness alone: WeeChat's own /dcc send of a name with blanks."""
    alice = setup.alice
    name = "Slow Train Home.mp3"

    def dcc():
        setup.weechat_command(f"/dcc send alice {song_path(setup, name)}", f"irc.server.{SERVER}")
        return fetch_and_compare(alice, 0, name, song_path(setup, name))[0]

    checks.run("WeeChat's /dcc send reaches a client, name with blanks, bytes equal", dcc)


def plugin_checks(setup, checks):
    alice = setup.alice
    bob = Client(setup.net, "bob")
    carol = Client(setup.net, "carol")
    mallory = Client(setup.net, "mallory")
    users = [alice, bob, carol, mallory]
    state = {}

    list_name = re.compile(re.escape(NICK) + r"\[\d\d-\d\d-\d\d\]-mm\.txt$")

    def the_list_file(timeout=10):
        found = wait_until(lambda: [n for n in os.listdir(setup.lists) if list_name.match(n)], timeout)
        return os.path.join(setup.lists, found[0]) if found else None

    def generate_at_once():
        # One after the other with no pause, as a startup script would.
        for command in (f"/plugin load {setup.plugin}",
                        f"/set quorbel.serve.ini {setup.ini}",
                        f"/set quorbel.serve.directory {setup.lists}",
                        f"/set quorbel.serve.channels {SERVER}.{CHANNEL}",
                        "/quorbel generate"):
            setup.weechat_command(command)
        if not the_list_file():
            return f"no {NICK}[MM-DD-YY]-mm.txt in the list folder within 10 s: {os.listdir(setup.lists)}"
        return None

    def whole_list():
        path = the_list_file(0)
        if not path:
            return f"no {NICK}[MM-DD-YY]-mm.txt in the list folder: {os.listdir(setup.lists)}"
        with open(path, "rb") as f:
            text = f.read()
        missing = [n for n in SONGS if f"!{NICK} {n}".encode() not in text]
        if missing:
            return f"the list lacks {missing}"

        if not wait_until(lambda: setup.logged("/quorbel status", r"idle", 1), 10, step=0):
            return "/quorbel status never said idle within 10 s after the list appeared"
        return None

    if not checks.run("/plugin load, the options and /quorbel generate at once: the list appears", generate_at_once):
        print("  /quorbel generate once more, for the checks that follow", flush=True)
        setup.weechat_command("/quorbel generate")
        the_list_file()
    if not checks.run("the list holds every song, /quorbel status says idle", whole_list):
        print("the other checks need the list: not run")
        return

    # Each @find from a user of its own: a user's finds may be spaced in time.
    def find(pattern, want):
        alice.clear()
        alice.say(f"@find {pattern}")
        got = alice.quiet_notices()
        state.setdefault("find_lines", []).extend(got)
        names = sorted(n for n in SONGS for t in got if t.startswith(f"!{NICK} {n}"))
        if len(got) != len(want) or names != sorted(want) or not all("::INFO::" in t for t in got):
            return f"wanted list lines for {sorted(want)}, got {got}"
        return None

    checks.run("@find train: one notice per match, each a list line",
               lambda: find("train", [n for n in SONGS if "Train" in n]))

    def find_five():
        bob.clear()
        bob.say("@find mp3")
        got = bob.quiet_notices()
        lines = [t for t in got if t.startswith(f"!{NICK} ") and "::INFO::" in t]
        return None if len(lines) == 5 else f"seven songs match, wanted five list lines, got {got}"

    checks.run("@find mp3: seven matches give five list lines", find_five)

    def find_nothing():
        carol.clear()
        carol.say("@find zebra")
        got = carol.quiet_notices(first=3)
        return f"notices for a pattern that matches nothing: {got}" if got else None

    checks.run("@find zebra: no notice when nothing matches", find_nothing)

    def exact_name():
        name = "Slow Train Home.mp3"
        seen = len(alice.offers)
        alice.say(f"!{NICK} {name}")
        return fetch_and_compare(alice, seen, name, song_path(setup, name))[0]

    checks.run("!NICK Slow Train Home.mp3: DCC SEND of the file, blanks kept, bytes equal", exact_name)

    def pasted_line():
        # A find answer pasted back whole, as users copy it from their window.
        line = next((t for t in state.get("find_lines", []) if t.startswith(f"!{NICK} Night Train.mp3")), None)
        if not line:
            return "no find line for Night Train.mp3 to paste"
        seen = len(bob.offers)
        bob.say(line)
        return fetch_and_compare(bob, seen, "Night Train.mp3", song_path(setup, "Night Train.mp3"))[0]

    checks.run("a pasted list line: DCC SEND of its file, bytes equal", pasted_line)

    def the_list():
        bob.clear()
        seen = len(bob.offers)
        bob.say(f"@{NICK}")
        offer = bob.next_offer(seen)
        if not offer:
            return f"no DCC offer within 10 s; notices: {bob.texts()}"
        names = sorted(n for n in os.listdir(setup.lists) if re.match(re.escape(NICK) + r"\[.*\]-mm\.(txt|zip)$", n))
        newest = sorted(names, key=lambda n: os.path.getmtime(os.path.join(setup.lists, n)))
        if offer.name not in names:
            return f"offer names {offer.name!r}; the list folder holds {names}"
        if offer.name.rsplit(".", 1)[0] != newest[-1].rsplit(".", 1)[0]:
            return f"offer names {offer.name!r}, the newest list is {newest[-1]!r}"
        data, _ = receive(offer)
        return same_file(data, os.path.join(setup.lists, offer.name))

    checks.run(f"@{NICK}: DCC SEND of the newest list, bytes equal", the_list)

    def one_slot():
        setup.weechat_command("/set quorbel.serve.slots 1")
        time.sleep(0.5)
        wanted = ["Open Road.mp3", "Rain On The Roof.mp3", "Red Sun Rising.mp3"]
        carol.clear()
        seen = len(carol.offers)
        for name in wanted:
            carol.say(f"!{NICK} {name}")
        finished = None
        problems = []
        for i, name in enumerate(wanted):
            # Each transfer is held open a second before it completes: an
            # offer that does not wait for the one before shows up meanwhile.
            problem, offer, done = fetch_and_compare(carol, seen + i, name, song_path(setup, name), hold=1.0)
            if problem:
                return f"transfer {i + 1}: {problem}"
            if finished is not None and offer.time <= finished:
                problems.append(f"{name!r} was offered {finished - offer.time:.2f} s before the transfer before it completed")
            finished = done
        if not any(QUEUE_NOTICE.match(t) for t in carol.texts()):
            problems.append(f"no notice with a place in the queue; notices: {carol.texts()}")
        return "; ".join(problems) or None

    checks.run("slots 1: three requests sent one after the other, queue place noticed", one_slot)

    def chart():
        # Every file sent in full so far counts one download; the list does not.
        hits_path = os.path.join(setup.lists, "ZOQHitData.hdt")
        want = {n.replace(" ", ":"): b"1" for n in ("Slow Train Home.mp3", "Night Train.mp3", "Open Road.mp3",
                                                   "Rain On The Roof.mp3", "Red Sun Rising.mp3")}
        def counted():
            try:
                with open(hits_path, "rb") as f:
                    text = f.read()
            except OSError:
                return None
            lines = text.split(b"\r\n")
            got = {l.split(b" ")[0].decode(): l.split(b" ")[1] for l in lines if l}
            return got if got == want and text.endswith(b"\r\n") else None
        if not wait_until(counted, 5):
            return f"{hits_path} does not count each sent file once: {open(hits_path, 'rb').read() if os.path.exists(hits_path) else 'missing'}"
        if not setup.logged("/quorbel chart", "Red Sun Rising.mp3"):
            return "/quorbel chart showed no chart line within 5 s"
        setup.weechat_command(f"/quorbel chart {CHANNEL}")
        posted = wait_until(lambda: [l for l in alice.channel_lines if "Red Sun Rising.mp3" in l], 5)
        if not posted or "\x03" not in posted[0]:
            return f"/quorbel chart {CHANNEL}: no coloured chart line in the channel: {alice.channel_lines}"
        return None

    checks.run("ZOQHitData.hdt counts each file sent in full, /quorbel chart shows them and posts them in colour", chart)

    def stats():
        # Five files and the list were sent in full so far, none failed.
        found = setup.logged("/quorbel stats",
                             r"(\d+) sends done, 0 failed, [\d.]+ [KMGT]?B sent, best [\d.]+ [KMGT]?B/s")
        if not found:
            return "/quorbel stats did not tell the sends done, none failed, bytes and the best rate"
        return None if found.group(1) == "6" else f"wanted 6 sends done: {found.group(0)}"

    checks.run("/quorbel stats: the sends done, none failed, bytes and the best rate", stats)

    def fair_order():
        # slots 1: frank's first is sent at once; grace, asking after frank's
        # other two, is sent second; -que tells places, -remove empties them.
        frank, grace = Client(setup.net, "frank"), Client(setup.net, "grace")
        users.extend([frank, grace])
        franks = ["Open Road.mp3", "Rain On The Roof.mp3", "Red Sun Rising.mp3"]
        for name in franks:
            frank.say(f"!{NICK} {name}")
        time.sleep(0.5)
        grace.say(f"!{NICK} Night Train.mp3")
        time.sleep(0.3)

        def told(client, line):
            client.say(f"@{NICK}-{line[0]}")
            return wait_until(lambda: line[1] in client.texts(), 5)

        if not told(grace, ("que", "your places in my queue: 1 (of 3)")):
            return f"grace's -que: {grace.texts()}"
        if not told(frank, ("que", "your places in my queue: 2 3 (of 3)")):
            return f"frank's -que: {frank.texts()}"
        problem = fetch_and_compare(frank, 0, franks[0], song_path(setup, franks[0]))[0]
        if problem:
            return f"frank's first: {problem}"
        offer = grace.next_offer(0)
        if not offer or offer.name != "Night Train.mp3" or len(frank.offers) != 1:
            return f"grace's file was not sent second: grace {grace.offers}, frank {[o.name for o in frank.offers]}"
        if not told(frank, ("remove", "2 waiting requests taken out")):
            return f"frank's -remove: {frank.texts()}"
        data, _ = receive(offer)
        problem = same_file(data, song_path(setup, "Night Train.mp3"))
        if problem:
            return problem
        if not told(frank, ("que", "you have no requests waiting")):
            return f"frank's -que after -remove: {frank.texts()}"
        return f"frank was offered a removed request: {frank.offers[1].name}" if len(frank.offers) > 1 else None

    checks.run("slots 1: a second user is sent second, not after a first user's three; -que, -remove", fair_order)

    def failed_send():
        # The receiver hangs up at once, twice: the send is offered once
        # more, then dropped with a message.
        ivan = Client(setup.net, "ivan")
        users.append(ivan)
        sizes = setup.log_sizes()
        ivan.say(f"!{NICK} Open Road.mp3")
        for i in range(2):
            offer = ivan.next_offer(i)
            if not offer:
                return f"offer {i + 1}: none; {ivan.texts()} {setup.log_text_since(sizes)!r}"
            with socket.create_connection((offer.ip, offer.port), timeout=10):
                pass
        if not wait_until(lambda: "it is dropped" in setup.log_text_since(sizes), 10):
            return f"no message that the send is dropped: {setup.log_text_since(sizes)!r}"
        time.sleep(1)  # any third offer
        log = setup.log_text_since(sizes)
        if "tried once more" not in log:
            return f"no message that the send is tried once more: {log!r}"
        return f"offered {len(ivan.offers)} times, wanted 2" if len(ivan.offers) != 2 else None

    checks.run("a send the receiver hangs up on is offered once more, then dropped", failed_send)

    def nick_and_part():
        # helen's first holds the one slot (never accepted); her second
        # waits, follows her new nick, and goes when she leaves.
        helen = Client(setup.net, "helen")
        users.append(helen)
        for name in ("Open Road.mp3", "Night Train.mp3"):
            helen.say(f"!{NICK} {name}")
        if not helen.next_offer(0):
            return f"no offer to helen: {helen.texts()}"
        helen.conn.nick("helen2")
        time.sleep(0.5)
        helen.say(f"@{NICK}-que")
        if not wait_until(lambda: "your places in my queue: 1 (of 1)" in helen.texts(), 5):
            return f"helen2's -que after the nick change: {helen.texts()}"
        sizes = setup.log_sizes()
        helen.conn.part(CHANNEL)
        if not wait_until(lambda: "helen2 left: 1 waiting requests taken out" in setup.log_text_since(sizes), 5):
            return f"helen2's request stayed after her part: {setup.log_text_since(sizes)!r}"
        return None

    checks.run("a nick change keeps a user's waiting requests, a part takes them out", nick_and_part)

    def speed_cap():
        # 200 KB/s over two slots: each send gets 100 KB/s. xfer counts
        # whole seconds of the clock, so 300,000 bytes need three of them
        # and take over one second (over loopback they take milliseconds).
        setup.weechat_command("/set quorbel.serve.slots 2")
        setup.weechat_command("/set quorbel.serve.speed_limit 200")
        time.sleep(1.5)  # the plug-in puts the cap into xfer at its next tick
        name = "Open Road.mp3"
        seen = len(alice.offers)
        alice.say(f"!{NICK} {name}")
        offer = alice.next_offer(seen)
        started = time.monotonic()
        problem = fetch_and_compare(alice, seen, name, song_path(setup, name))[0]
        took = time.monotonic() - started
        setup.weechat_command("/set quorbel.serve.speed_limit 0")
        if problem or not offer:
            return problem or "no offer"
        return None if took >= 1.0 else f"300,000 bytes came in {took:.2f} s, faster than 100 KB/s"

    checks.run("speed_limit 200 over 2 slots: a send goes no faster than 100 KB/s", speed_cap)

    def resume():
        # The receiver hangs up half way; the send is offered once more and
        # resumed from where it broke, and the file arrives whole.
        judy = Client(setup.net, "judy")
        users.append(judy)
        name = "Rain On The Roof.mp3"
        judy.say(f"!{NICK} {name}")
        first = judy.next_offer(0)
        if not first:
            return f"no offer: {judy.texts()}"
        data, _ = receive(first, hang_up_at=first.size // 2)
        again = judy.next_offer(1)
        if not again:
            return f"no second offer after hanging up at byte {len(data)}"
        judy.conn.ctcp("DCC", NICK, f'RESUME "{name}" {again.port} {len(data)}')
        if not wait_until(lambda: judy.accepts, 10):
            return f"no DCC ACCEPT of the resume at byte {len(data)}"
        data, _ = receive(again, have=data)
        return same_file(data, song_path(setup, name))

    checks.run("a send broken half way is resumed with DCC RESUME and arrives whole", resume)

    def advertisement():
        setup.weechat_command("/set quorbel.serve.advertise_minutes 60")
        line = wait_until(lambda: [l for l in alice.channel_lines if l.startswith("Music list of")], 5)
        setup.weechat_command("/set quorbel.serve.advertise_minutes 0")
        want = re.compile(rf"Music list of {NICK}: 7 files, 1\.0MB \| [12] of 2 slots free, 0 waiting \| "
                          rf"list of \d\d-\d\d-\d\d \| @find on \| type @{NICK} for the list")
        if not line or not want.match(line[0]):
            return f"no advertisement in {CHANNEL} within 5 s of turning it on: {alice.channel_lines[-3:]}"
        return None

    checks.run("advertise_minutes: the line tells files, size, free slots, the queue, the date, @find", advertisement)

    def kept_across_reload():
        # Two slots, one held by helen's offer that she never took: kate's
        # first is offered (not yet taken), her other two wait; after
        # /plugin reload the offer is still hers and the two follow it,
        # nothing sent twice.
        setup.weechat_command("/set quorbel.serve.slots 2")
        kate = Client(setup.net, "kate")
        users.append(kate)
        names = ["Blue Sky Song.mp3", "Night Train.mp3", "Red Sun Rising.mp3"]
        for name in names:
            kate.say(f"!{NICK} {name}")
        queued = lambda: len([t for t in kate.texts() if QUEUE_NOTICE.match(t)]) == 2
        if not kate.next_offer(0) or not wait_until(queued, 5):
            return f"no first offer, or the other two not queued: {kate.texts()}"
        # kate's three and helen's offer, which her part left going on.
        if not setup.logged("/plugin reload quorbel", "4 requests kept from before", 10):
            return "the reloaded plug-in did not take the queue back"
        kate.say(f"@{NICK}-que")
        if not wait_until(lambda: "your places in my queue: 1 2 (of 2)" in kate.texts(), 5):
            return f"kate's -que after the reload: {kate.texts()}"
        for i, name in enumerate(names):
            problem = fetch_and_compare(kate, i, name, song_path(setup, name))[0]
            if problem:
                return f"file {i + 1}: {problem}"
        time.sleep(1)  # any offer made twice
        return None if len(kate.offers) == 3 else f"{len(kate.offers)} offers, wanted 3"

    checks.run("the queue is kept across /plugin reload: the send going on and the waiting ones", kept_across_reload)

    def kept_across_restart():
        # slots 1: leo's first is offered (not taken), his second waits.
        # WeeChat ends, the offer with it, and starts again; once leo is
        # seen in the channel both are sent; helen2's stays kept for her.
        setup.weechat_command("/set quorbel.serve.slots 1")
        leo = Client(setup.net, "leo")
        users.append(leo)
        names = ["Blue Sky Song.mp3", "Red Sun Rising.mp3"]
        for name in names:
            leo.say(f"!{NICK} {name}")
        if not leo.next_offer(0) or not wait_until(lambda: any(QUEUE_NOTICE.match(t) for t in leo.texts()), 5):
            return f"leo's first was not offered or his second not queued: {leo.texts()}"
        sizes = setup.log_sizes()
        setup.restart_weechat()
        setup.weechat_command(f"/plugin load {setup.plugin}")
        if not wait_until(lambda: "3 requests kept from before" in setup.log_text_since(sizes), 10):
            return f"the restarted plug-in did not take the queue back: {setup.log_text_since(sizes)!r}"
        for i, name in enumerate(names):
            problem = fetch_and_compare(leo, i + 1, name, song_path(setup, name))[0]
            if problem:
                return f"file {i + 1}: {problem}"
        return None

    checks.run("the queue is kept across a restart of WeeChat, sent once its user is seen", kept_across_restart)

    hostile = [
        ("../../etc/passwd", "a path up and out"),
        ("/etc/passwd", "an absolute path"),
        ("../Music/Open Road.mp3", "a path to a listed file"),
        ("Music\\Open Road.mp3", "a backslash"),
        ("a\x01b.mp3", "a control character"),
        ("x" * 300 + ".mp3", "a 304-byte name"),
        ("nothere.mp3", "a name not in the list"),
    ]

    def refused(name):
        mallory.clear()
        seen = len(mallory.offers)
        mallory.say(f"!{NICK} {name}")
        got = mallory.quiet_notices(first=3)
        if len(mallory.offers) > seen:
            return f"offered {mallory.offers[seen].name!r}"
        if any(QUEUE_NOTICE.match(t) for t in got):
            return f"queued: {got}"
        return None if got else "no notice within 3 s"

    for name, what in hostile:
        checks.run(f"!NICK {what}: refused with a notice, no DCC offer", lambda name=name: refused(name))

    def flood():
        # A find too short, then one too soon: one notice each, then silence.
        dave = Client(setup.net, "dave")
        users.append(dave)
        for line in ("@find *a*b*", "@find train", "@find train", f"!{NICK} Open Road.mp3"):
            dave.say(line)
        got = dave.quiet_notices(first=3)
        if len(got) != 2 or "at least 3" not in got[0] or "ignored" not in got[1]:
            return f"wanted a notice for the short find and one saying dave is ignored, got {got}"
        return "dave was offered a file while ignored" if dave.offers else None

    checks.run("a short find, then a find too soon: one notice each, then nothing answered", flood)

    def ignore_mask():
        eve = Client(setup.net, "eve")
        users.append(eve)
        setup.weechat_command("/set quorbel.serve.ignore foo!*@*,EVE!*@*")
        time.sleep(0.5)
        eve.say("@find train")
        eve.say(f"!{NICK} Open Road.mp3")
        got = eve.quiet_notices(first=3)
        return f"an ignored mask was answered: {got} {[o.name for o in eve.offers]}" if got or eve.offers else None

    checks.run("quorbel.serve.ignore: a user matching a mask gets no answer", ignore_mask)

    def only_listed():
        time.sleep(1)  # any late offer
        allowed = set(SONGS) | set(os.listdir(setup.lists))
        strays = [(u.nick, o.name) for u in users for o in u.offers if o.name not in allowed]
        return f"offers outside the list: {strays}" if strays else None

    checks.run("every DCC offer named a listed file or the list", only_listed)


def run_checks(name, make_setup, deadline, body):
    """Starts ngircd and WeeChat in a new temporary folder (make_setup(root)),
    runs body(setup, checks), all within `deadline` seconds, shows the logs'
    tails when a check failed, and stops and removes everything
    (QUORBEL_KEEP=1 keeps the folder). Returns the Checks."""
    def out_of_time(*_):
        raise OutOfTime(f"the run took over {deadline} s")

    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(f"{name}: terminated"))
    signal.alarm(deadline)
    root = tempfile.mkdtemp(prefix=f"quorbel-{name}-")
    setup = make_setup(root)
    checks = Checks()
    try:
        if checks.run("ngircd on 127.0.0.1, WeeChat joined " + CHANNEL, lambda: setup.start() or None):
            body(setup, checks)
    except OutOfTime as e:
        checks.failed += 1
        print(f"FAIL {e}")
    finally:
        signal.alarm(0)
        if checks.failed:
            print(setup.logs_tail())
        setup.stop()
        if os.environ.get("QUORBEL_KEEP"):
            print(f"kept {root}")
        else:
            shutil.rmtree(root, ignore_errors=True)
    return checks


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--plugin", help="absolute path of the plug-in quorbel.so")
    mode.add_argument("--plumbing", action="store_true", help="no plug-in: check the harness with WeeChat's /dcc send")
    parser.add_argument("-v", "--verbose", action="store_true", help="print every request, notice and offer")
    args = parser.parse_args()
    global VERBOSE
    VERBOSE = args.verbose
    if args.plugin and not os.path.isfile(args.plugin):
        sys.exit(f"serve_test: no plug-in at {args.plugin}")

    body = plugin_checks if args.plugin else plumbing_checks
    checks = run_checks("irc", lambda root: Setup(root, args.plugin and os.path.abspath(args.plugin)),
                        DEADLINE, body)
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
