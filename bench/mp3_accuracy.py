#!/usr/bin/env python3
"""Accuracy of the MPEG reader on real encoded files.

Makes a set of files with lame and ffmpeg (CBR 32-320 kbit/s with and
without lame's Info frame, VBR -V0..-V9, ABR, every MPEG 1/2/2.5 sample
rate, the four channel modes, MP2, ID3v2 tags from 0 B to 1 MiB, ID3v1 and
ID3v2-only tags, 1 s to 20 min) and compares what ZOQ_GetMPEGInfo answers
(through the command-line host) with ffprobe and, when installed, mutagen:
playing time within 1 s, bitrate (CBR: the same kbit/s; VBR/ABR: " VAR"),
sample rate (the reply shows kHz) and channel mode (mutagen tells all four
modes apart, ffprobe only mono from two channels).

usage: mp3_accuracy.py HOST WORK_DIR [--verbose]
  HOST      the quorbel command-line host (libquorbel.so beside it)
  WORK_DIR  where the files are made; files already there are reused
Exit status 0 when every file agrees, 1 otherwise.
"""
import json
import os
import random
import struct
import subprocess
import sys

try:
    import mutagen.mp3 as mutagen_mp3
except ImportError:
    mutagen_mp3 = None

SECONDS_OF_SLACK = 1.0
TAG_SIZES = [0, 1024, 64 * 1024, 350 * 1024, 1024 * 1024]


# ---- making the files ---------------------------------------------------------

def source(seconds, rate, channels):
    """ffmpeg arguments for a tone with noise: VBR encoders vary their rate on it."""
    left = "0.3*sin(440*2*PI*t)+0.1*random(0)"
    right = "0.3*sin(554*2*PI*t)+0.1*random(1)"
    expr = left if channels == 1 else left + "|" + right
    return ["-f", "lavfi", "-i", "aevalsrc=%s:s=%d:d=%g" % (expr, rate, seconds)]


def run_pipe(first, second):
    a = subprocess.Popen(first, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    subprocess.run(second, stdin=a.stdout, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    a.stdout.close()
    a.wait()


def lame(out, lame_args, seconds=10, rate=44100, channels=2):
    wav = ["ffmpeg", "-v", "error", "-nostdin"] + source(seconds, rate, channels) + \
          ["-f", "wav", "-"]
    run_pipe(wav, ["lame", "--silent"] + lame_args + ["-", out])


def ffmpeg(out, codec_args, seconds=10, rate=44100, channels=2):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y"] + source(seconds, rate, channels) +
                   codec_args + [out], check=True)


def id3v2_tag(size):
    """An ID3v2.3 tag of exactly `size` bytes: a title and a picture of random bytes."""
    if size == 0:
        return b""
    def frame(fid, data):
        return fid + struct.pack(">I", len(data)) + b"\0\0" + data
    title = frame(b"TIT2", b"\0Tagged")
    head = 10 + len(title) + 10 + len(b"\0image/jpeg\0\x03\0")
    rng = random.Random(size)
    picture = bytes(rng.getrandbits(8) for _ in range(max(size - head, 0)))
    body = title + frame(b"APIC", b"\0image/jpeg\0\x03\0" + picture)
    body = body[:size - 10]
    syncsafe = bytes([(len(body) >> s) & 0x7F for s in (21, 14, 7, 0)])
    return b"ID3\x03\x00\x00" + syncsafe + body


def prepend(out, tag, inner):
    with open(inner, "rb") as f:
        audio = f.read()
    with open(out, "wb") as f:
        f.write(tag + audio)


def plan():
    """(category, kind, file name, maker) for every file."""
    files = []
    def add(category, kind, name, make):
        files.append((category, kind, name, make))
    for kbps in [32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]:
        add("CBR 32-320", "CBR", "cbr%d.mp3" % kbps,
            lambda o, k=kbps: lame(o, ["-b", str(k)]))
    # 48 kbit/s MPEG 1 stereo, where lame's frames are too small for an Info
    # frame: the bitrate the size estimate calls variable, a kept rule.
    add("48k MPEG 1 stereo, no Info", "CBR", "cbr48-44k.mp3", lambda o: lame(o, ["-b", "48", "--resample", "44.1"]))
    for kbps in [48, 128, 320]:
        add("CBR without Info frame", "CBR", "cbr%d-t.mp3" % kbps,
            lambda o, k=kbps: lame(o, ["-t", "-b", str(k)]))
    for q in range(10):
        add("VBR -V0..-V9", "VBR", "vbr-V%d.mp3" % q,
            lambda o, q=q: lame(o, ["-V", str(q)], seconds=14))
    for kbps in [64, 128, 192]:
        add("ABR", "VBR", "abr%d.mp3" % kbps, lambda o, k=kbps: lame(o, ["--abr", str(k)]))
    for rate, kbps in [(8000, 24), (11025, 32), (12000, 32), (16000, 48), (22050, 64),
                       (24000, 64), (32000, 96), (44100, 128), (48000, 128)]:
        add("sample rates (CBR)", "CBR", "rate%d.mp3" % rate,
            lambda o, r=rate, k=kbps: lame(o, ["-b", str(k)], rate=r))
        add("sample rates (VBR)", "VBR", "rate%d-V5.mp3" % rate,
            lambda o, r=rate: lame(o, ["-V", "5"], rate=r))
    for mode, channels in [("m", 1), ("s", 2), ("j", 2), ("d", 2)]:
        add("channel modes", "CBR", "mode-%s.mp3" % mode,
            lambda o, m=mode, c=channels: lame(o, ["-m", m, "-b", "128"], channels=c))
        add("channel modes", "VBR", "mode-%s-V2.mp3" % mode,
            lambda o, m=mode, c=channels: lame(o, ["-m", m, "-V", "2"], channels=c))
    for rate, kbps, channels in [(44100, 192, 2), (48000, 384, 2), (32000, 64, 1),
                                 (22050, 64, 1), (24000, 160, 2)]:
        add("MP2", "CBR", "mp2-%d-%d.mp2" % (rate, kbps),
            lambda o, r=rate, k=kbps, c=channels:
            ffmpeg(o, ["-c:a", "mp2", "-b:a", "%dk" % k], rate=r, channels=c))
    add("ffmpeg's MP3 writer", "CBR", "ff-cbr192.mp3",
        lambda o: ffmpeg(o, ["-c:a", "libmp3lame", "-b:a", "192k"]))
    add("ffmpeg's MP3 writer", "VBR", "ff-vbr-q2.mp3",
        lambda o: ffmpeg(o, ["-c:a", "libmp3lame", "-q:a", "2"]))
    for size in TAG_SIZES:
        for kind, args in [("CBR", ["-b", "128"]), ("VBR", ["-V", "4"])]:
            def make(o, size=size, args=args):
                lame(o + ".raw", args, seconds=12)
                prepend(o, id3v2_tag(size), o + ".raw")
                os.remove(o + ".raw")
            add("ID3v2 tag 0 B-1 MiB", kind, "tag%d-%s.mp3" % (size, kind.lower()), make)
    text = ["--tt", "Title", "--ta", "Artist", "--tl", "Album"]
    add("ID3v1 / ID3v2-only", "CBR", "id3v1only.mp3",
        lambda o: lame(o, ["-b", "128", "--id3v1-only"] + text))
    add("ID3v1 / ID3v2-only", "VBR", "id3v2only.mp3",
        lambda o: lame(o, ["-V", "3", "--id3v2-only"] + text))
    add("ID3v1 / ID3v2-only", "VBR", "id3both.mp3",
        lambda o: lame(o, ["-V", "3", "--add-id3v2"] + text))
    for seconds, kind, args in [(1, "CBR", ["-b", "128"]), (1, "VBR", ["-V", "2"]),
                                (60, "VBR", ["-V", "5"]), (1200, "CBR", ["-b", "128"]),
                                (1200, "VBR", ["-V", "5"])]:
        add("1 s to 20 min", kind, "len%d-%s.mp3" % (seconds, kind.lower()),
            lambda o, s=seconds, a=args: lame(o, a, seconds=s))
    return files


def make_files(work):
    os.makedirs(work, exist_ok=True)
    files = plan()
    for _, _, name, make in files:
        path = os.path.join(work, name)
        if not os.path.exists(path):
            make(path + ".part" + os.path.splitext(name)[1])
            os.rename(path + ".part" + os.path.splitext(name)[1], path)
    return files


# ---- reading them -------------------------------------------------------------

def ours(host, paths):
    """{path: (bitrate text, kHz, mode text, seconds)} from ZOQ_GetMPEGInfo."""
    script = "".join("ZOQ_GetMPEGInfo %s\n" % p for p in paths).encode()
    out = subprocess.run([host, "--bytes", "--no-progress", "script"], input=script,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    result = {}
    for path, line in zip(paths, out.split(b"\n")):
        prefix, suffix = b"201 OK-DATA", b" __ZOQ_GetMPEGInfo__"
        if not (line.startswith(prefix) and line.endswith(suffix)):
            result[path] = None
            continue
        groups = line[len(prefix):-len(suffix)].split(b"\xff")
        rate, khz = groups[0].strip().decode().split("/")
        time = groups[2].decode().strip("[]s")
        minutes, _, seconds = time.rpartition("m")
        result[path] = (rate, int(khz), groups[1].decode("cp1252"),
                        int(minutes or 0) * 60 + int(seconds))
    return result


def ffprobe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format",
                          "-show_streams", path], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL).stdout
    info = json.loads(out)
    stream = info["streams"][0]
    return {"seconds": float(info["format"]["duration"]),
            "kbps": int(stream.get("bit_rate", 0)) // 1000,
            "hz": int(stream["sample_rate"]), "channels": int(stream["channels"])}


MUTAGEN_MODES = {0: "Stereo", 1: "Joint stereo", 2: "Dual channel", 3: "Single channel"}


def mutagen(path):
    if mutagen_mp3 is None:
        return None
    try:
        info = mutagen_mp3.MP3(path).info
    except Exception:  # a file it cannot read counts as a disagreement
        return {"seconds": -100.0, "mode": "?"}
    return {"seconds": info.length, "mode": MUTAGEN_MODES.get(info.mode, "?")}


# ---- comparing ----------------------------------------------------------------

def compare(kind, mine, probe, mut):
    """Agreement of one file: time (ffprobe), time (mutagen), bitrate, rate, mode."""
    if mine is None:
        return {"time": False, "time_m": False, "bitrate": False, "rate": False, "mode": False}
    rate, khz, mode, seconds = mine
    agree = {"time": abs(seconds - probe["seconds"]) <= SECONDS_OF_SLACK}
    if mut is not None:
        agree["time_m"] = abs(seconds - mut["seconds"]) <= SECONDS_OF_SLACK
        agree["mode"] = mode == mut["mode"]
    else:
        agree["mode"] = (mode == "Single channel") == (probe["channels"] == 1)
    agree["bitrate"] = rate == "VAR" if kind == "VBR" else rate == str(probe["kbps"])
    agree["rate"] = khz == probe["hz"] // 1000
    return agree


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    host, work, verbose = argv[1], argv[2], "--verbose" in argv
    files = make_files(work)
    paths = [os.path.join(work, name) for _, _, name, _ in files]
    mine = ours(host, paths)
    columns = ["time", "time_m", "bitrate", "rate", "mode"] if mutagen_mp3 else \
              ["time", "bitrate", "rate", "mode"]
    titles = {"time": "time (ffprobe)", "time_m": "time (mutagen)", "bitrate": "bitrate",
              "rate": "sample rate", "mode": "mode"}
    rows, totals, failures = {}, {c: [0, 0] for c in columns}, []
    for (category, kind, name, _), path in zip(files, paths):
        probe, mut = ffprobe(path), mutagen(path)
        agree = compare(kind, mine[path], probe, mut)
        row = rows.setdefault(category, {c: [0, 0] for c in columns})
        for c in columns:
            row[c][0] += agree[c]
            row[c][1] += 1
            totals[c][0] += agree[c]
            totals[c][1] += 1
        if not all(agree[c] for c in columns) or verbose:
            failures.append("%-22s ours %-36s ffprobe %.2fs %dk %dHz %dch%s" % (
                name, mine[path], probe["seconds"], probe["kbps"], probe["hz"],
                probe["channels"], "  mutagen %.2fs %s" % (mut["seconds"], mut["mode"])
                if mut else ""))
    print("%-28s %5s " % ("files", "n") + " ".join("%15s" % titles[c] for c in columns))
    for category, row in list(rows.items()) + [("all", totals)]:
        n = row[columns[0]][1]
        print("%-28s %5d " % (category, n) +
              " ".join("%15s" % ("%d/%d" % tuple(row[c])) for c in columns))
    if mutagen_mp3 is None:
        print("(mutagen not installed: modes compared as mono / two channels with ffprobe)")
    for line in failures:
        print("  " + line)
    return 0 if all(t[0] == t[1] for t in totals.values()) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
