#!/usr/bin/python3
"""What serving a file through the plug-in costs, beside what the owner would
do instead and a floor, in the same run (tests/irc's set-up: ngircd and a
headless WeeChat on loopback, one python3-irc receiver).

Per file, one after the other, each path run in turn so that the machine's
drift touches all three alike:
  floor      the same bytes and DCC acknowledgements over a plain loopback
             socket, from a sender thread here: the receiver's own cost;
  /dcc send  the owner types /dcc send (through WeeChat's FIFO): xfer alone;
  plug-in    the user types "!qserv NAME": the plug-in reads the line, finds
             the name in the index on its library thread, queues and offers.
It prints, per path, the median time from asking to the offer and the
throughput of the transfers.

  serve_bench.py --plugin /abs/build/linux/bin/weechat/quorbel.so [--files N] [--mb M]
"""
import argparse
import os
import random
import shutil
import socket
import statistics
import struct
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "irc"))
import serve_test as st  # noqa: E402


def floor_offer(path):
    """A DCC sender of `path` on a thread: the offer a receiver would get."""
    server = socket.create_server(("127.0.0.1", 0))
    size = os.path.getsize(path)

    def send():
        conn, _ = server.accept()
        with conn, open(path, "rb") as f:
            while block := f.read(65536):
                conn.sendall(block)
            got = 0
            while got < size:  # the receiver's acknowledgements, up to the last
                ack = conn.recv(4)
                if len(ack) < 4:
                    break
                got = struct.unpack("!I", ack)[0]
        server.close()

    threading.Thread(target=send, daemon=True).start()
    return st.Offer(time.monotonic(), os.path.basename(path), "127.0.0.1", server.getsockname()[1], size)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--plugin", required=True)
    parser.add_argument("--files", type=int, default=12)
    parser.add_argument("--mb", type=float, default=4.0, help="size of each file")
    args = parser.parse_args()
    size = int(args.mb * 1024 * 1024)
    st.Setup.songs = {f"Bench Song {i:02}.mp3": size for i in range(args.files)}
    root = tempfile.mkdtemp(prefix="quorbel-serve-bench-")
    setup = st.Setup(root, os.path.abspath(args.plugin))
    try:
        setup.start()
        for command in (f"/plugin load {setup.plugin}", f"/set quorbel.serve.ini {setup.ini}",
                        f"/set quorbel.serve.directory {setup.lists}",
                        f"/set quorbel.serve.channels {st.SERVER}.{st.CHANNEL}",
                        "/set quorbel.serve.requests_per_minute 1000", "/quorbel generate"):
            setup.weechat_command(command)
        if not st.wait_until(lambda: any(n.endswith("-mm.txt") for n in os.listdir(setup.lists)), 30):
            sys.exit("serve_bench: no list within 30 s")
        time.sleep(1)
        alice = setup.alice
        paths = {
            "floor": lambda path: floor_offer(path),
            "/dcc send": lambda path: setup.weechat_command(f"/dcc send alice {path}",
                                                             f"irc.server.{st.SERVER}"),
            "plug-in": lambda path: alice.say(f"!{st.NICK} {os.path.basename(path)}"),
        }
        latency = {name: [] for name in paths}
        seconds = {name: 0.0 for name in paths}
        names = list(st.Setup.songs)
        random.Random(1).shuffle(names)
        for name in names:
            path = st.song_path(setup, name)
            for label, ask in paths.items():
                seen = len(alice.offers)
                asked = time.monotonic()
                offer = ask(path) or alice.next_offer(seen)  # the floor offers by itself
                if offer is None:
                    sys.exit(f"serve_bench: no offer of {name} by {label}")
                data, done = st.receive(offer)
                if len(data) != size:
                    sys.exit(f"serve_bench: {label} sent {len(data)} bytes of {name}, not {size}")
                latency[label].append((offer.time - asked) * 1000)
                seconds[label] += done - offer.time
        print(f"{args.files} files of {args.mb:g} MB, one after the other, over loopback")
        print(f"{'path':<12}{'ask to offer (median ms)':>26}{'transfer MB/s':>16}")
        for label in paths:
            rate = args.files * size / 1e6 / seconds[label]
            print(f"{label:<12}{statistics.median(latency[label]):>26.1f}{rate:>16.1f}")
    finally:
        setup.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
