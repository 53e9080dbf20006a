#!/usr/bin/python3
"""Parts as the players and checkers people use read them.

Small sources made with LAME are split by kerfline-cli into each kind of part
(plain, rebuilt information frame, exact, exact with ID3v2, and each kind
joined back), and every part is read by ffprobe, mpg123, GStreamer (its
discoverer and a whole decode), MediaInfo, mp3val and mutagen: the length each
shows lies within one frame of the part's, the decoded sample counts are what
the kind of part should give, no checker warns of a part what it does not
warn of its source, and the tags are read.

usage: players_test.py KERFLINE_CLI
"""

import concurrent.futures
import json
import os
import re
import subprocess
import sys
import tempfile

import mutagen.mp3

CLI = sys.argv[1]
SECONDS = 4
TITLE = "Kerfline players"

# name, sample rate of the signal, LAME's options, frame samples
SOURCES = [
    ("cbr128_info", 44100, ["-b", "128"], 1152),
    ("vbr_v2", 44100, ["-V", "2"], 1152),
    ("mpeg2_mono_vbr", 22050, ["-V", "2", "-m", "m"], 576),
    ("cbr320_48k", 48000, ["-b", "320"], 1152),
    ("cbr128_no_info", 44100, ["-b", "128", "-t"], 1152),
    # Exact parts of under 2 KiB, which ffmpeg would not trim for their ID3v1
    # tag; at this rate LAME writes no information frame.
    ("cbr8_8k_mono", 8000, ["-b", "8", "-m", "m"], 576),
]

# kind of part, kerfline-cli split's options
KINDS = [
    ("plain", []),
    ("rebuilt", ["--rebuild-info-frame"]),
    ("exact", ["--exact"]),
    ("exact_id3v2", ["--exact", "--id3v2"]),
]

DECODER_DELAY = 529
# Readers that show a file with a LAME tag as gapless players play it; the
# others show all its frames.
GAPLESS_READERS = {"gst_discoverer", "mutagen"}


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, check=False, **kwargs)


def make_source(folder, name, rate, lame_options):
    wav = os.path.join(folder, name + ".wav")
    # Music-like: two tones over pink noise, so every frame carries data.
    run(["sox", "-n", "-r", str(rate), "-c", "2", "-b", "16", wav, "synth", str(SECONDS),
         "pinknoise", "sine", "440", "sine", "660", "remix", "1,2", "1,3", "vol", "0.4"])
    mp3 = os.path.join(folder, name + ".mp3")
    result = run(["lame", "--quiet", "--id3v1-only", "--tt", TITLE, *lame_options, wav, mp3])
    assert result.returncode == 0, result.stderr
    return mp3


def frames_of(path):
    """The audio frames of a file as (offset, length, bitrate index): a walk by
    the headers, from the first frame (after an ID3v2 tag) to the ID3v1 tag."""
    data = open(path, "rb").read()
    end = len(data) - (128 if data[-128:-125] == b"TAG" else 0)
    at = 0
    if data[:3] == b"ID3":
        at = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    frames = []
    while at + 4 <= end:
        b1, b2 = data[at + 1], data[at + 2]
        if data[at] != 0xFF or (b1 & 0xE0) != 0xE0:
            at += 1
            continue
        version = (b1 >> 3) & 3  # 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5
        index, rate_index, padding = b2 >> 4, (b2 >> 2) & 3, (b2 >> 1) & 1
        rates = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}
        mpeg1 = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
        mpeg2 = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]
        kbps = (mpeg1 if version == 3 else mpeg2)[index] if index < 15 else 0
        if kbps == 0 or rate_index == 3:
            at += 1
            continue
        rate = rates[version][rate_index]
        length = (144 if version == 3 else 72) * kbps * 1000 // rate + padding
        frames.append((at, length, index))
        at += length
    return data, frames


def information_frame(path):
    """The Xing/Info frame's frame count and LAME delay and padding, if any."""
    data, frames = frames_of(path)
    first = frames[0][0]
    for marker in (b"Xing", b"Info"):
        at = data.find(marker, first, first + 64)
        if at < 0:
            continue
        flags = int.from_bytes(data[at + 4:at + 8], "big")
        count = int.from_bytes(data[at + 8:at + 12], "big") if flags & 1 else None
        lame = at + 8 + sum(w for f, w in ((1, 4), (2, 4), (4, 100), (8, 4)) if flags & f)
        delay_padding = int.from_bytes(data[lame + 21:lame + 24], "big")
        return {"count": count, "delay": delay_padding >> 12, "padding": delay_padding & 0xFFF,
                "audio_frames": len(frames) - 1}
    return {"count": None, "delay": 0, "padding": 0, "audio_frames": len(frames)}


def decoded_samples(args):
    result = run(args)
    return len(result.stdout) // 4 if result.returncode == 0 else -1


def gstreamer_samples(path, folder):
    raw = os.path.join(folder, os.path.basename(path) + ".raw")
    run(["gst-launch-1.0", "-q", "filesrc", "location=" + path, "!", "decodebin", "!",
         "audioconvert", "!", "audio/x-raw,format=S16LE,channels=2", "!", "filesink",
         "location=" + raw])
    samples = os.path.getsize(raw) // 4 if os.path.exists(raw) else -1
    if os.path.exists(raw):
        os.remove(raw)
    return samples


def seconds_of(text):
    h, m, s = text.split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


def mp3val_warnings(path):
    out = run(["mp3val", path]).stdout.decode(errors="replace")
    # The message without the file's name and offset, and without the figures.
    return {re.sub(r"\(.*?\)", "", line.split(":", 2)[-1]).strip()
            for line in out.splitlines() if line.startswith("WARNING")}


def read(path, folder):
    """What each program makes of one file."""
    probe = run(["ffprobe", "-v", "warning", "-show_entries", "format=duration:format_tags=title",
                 "-of", "json", path])
    probed = json.loads(probe.stdout or b"{}").get("format", {})
    discovered = run(["gst-discoverer-1.0", path]).stdout.decode(errors="replace")
    duration = re.search(r"Duration: (\d+:\d+:[\d.]+)", discovered)
    media_info = run(["mediainfo", "--Inform=Audio;%Duration%", path]).stdout.decode().strip()
    mpg123_test = run(["mpg123", "-t", path]).stderr.decode(errors="replace")
    tags = mutagen.File(path)
    title = None
    if tags is not None and tags.tags is not None and "TIT2" in tags.tags:
        title = (str(tags.tags["TIT2"]), tags.tags.version[:2])
    return {
        "ffprobe": float(probed["duration"]) if "duration" in probed else None,
        "ffprobe_title": probed.get("tags", {}).get("title"),
        # Without the "[mp3 @ 0x...]" that names the run's demuxer.
        "ffprobe_warnings": [re.sub(r"^\[.*?\] ", "", l) for l in probe.stderr.decode().splitlines()
                             if l.strip()],
        "gst_discoverer": seconds_of(duration.group(1)) if duration else None,
        "mediainfo": float(media_info) / 1000 if media_info else None,
        "mutagen": mutagen.mp3.MP3(path).info.length,
        "mutagen_title": title,
        "mpg123_warnings": [l for l in mpg123_test.splitlines() if "arning" in l],
        "mp3val": mp3val_warnings(path),
        "ffmpeg_samples": decoded_samples(["ffmpeg", "-v", "error", "-i", path, "-ac", "2",
                                           "-f", "s16le", "-"]),
        "mpg123_samples": decoded_samples(["mpg123", "-q", "-s", "--stereo", path]),
        "gst_samples": gstreamer_samples(path, folder),
    }


def split(source, folder, kind, options):
    out = os.path.join(folder, kind)
    result = run([CLI, "split", source, "-o", out, "--parts", "3", "--json", "--overwrite",
                  "-q", *options])
    assert result.returncode == 0, result.stderr
    return [(row["path"], row["start_ms"], row["end_ms"]) for row in json.loads(result.stdout)]


def join(paths, out):
    result = run([CLI, "join", *paths, "-o", out, "--overwrite"])
    assert result.returncode == 0, result.stderr
    return out


def sample_at(ms, rate):
    return (ms * rate + 500) // 1000


class Checker:
    def __init__(self):
        self.failures = []
        self.checked = 0

    def expect(self, ok, what):
        self.checked += 1
        if not ok:
            self.failures.append(what)

    def part(self, label, got, want, source_got, source_want):
        """want: Played, the samples a gapless player plays of the part; Raw,
        those of its audio frames; Tagged, whether it has a LAME tag; Decoded,
        what each gapless decoder gives (None: as it decodes the source)."""
        one_frame = want["FrameSamples"] / want["Rate"] + 0.0015  # and the readers' rounding
        for reader in ("ffprobe", "gst_discoverer", "mediainfo", "mutagen"):
            if want["Tagged"]:
                lengths = [want["Played" if reader in GAPLESS_READERS else "Raw"]]
            else:
                # By the frames, or as the reader estimates the source's
                # length (from its bytes, the ID3v1 tag's taken as audio).
                estimate = source_got[reader] - source_want["Raw"] / want["Rate"]
                lengths = [want["Raw"], want["Raw"] + estimate * want["Rate"]]
            shown = got[reader]
            self.expect(shown is not None and
                        any(abs(shown - l / want["Rate"]) <= one_frame for l in lengths),
                        f"{label}: {reader} shows {shown} s, wanted "
                        f"{[round(l / want['Rate'], 4) for l in lengths]}")
        for decoder in ("ffmpeg_samples", "mpg123_samples", "gst_samples"):
            wanted = source_got[decoder] if want["Decoded"] is None else want["Decoded"]
            self.expect(got[decoder] == wanted,
                        f"{label}: {decoder} {got[decoder]}, wanted {wanted}")
        for checker in ("mp3val", "ffprobe_warnings", "mpg123_warnings"):
            new = set(got[checker]) - set(source_got[checker])
            self.expect(not new, f"{label}: {checker} warns {sorted(new)}")
        if want["Id3v2"]:
            self.expect(got["mutagen_title"] == (TITLE, (2, 3)),
                        f"{label}: ID3v2 title {got['mutagen_title']}")
        self.expect(got["ffprobe_title"] == TITLE, f"{label}: title {got['ffprobe_title']}")


def gapless_decoded(frames, count, delay, padding, frame_samples):
    """What ffmpeg, mpg123 and GStreamer decode of frames audio frames whose
    information frame says count, delay and padding: they skip the delay and
    the decoder's own, and end at the count's samples less the padding, where
    the frames reach that far."""
    end = min(frames * frame_samples, count * frame_samples - padding + DECODER_DELAY)
    return end - delay - DECODER_DELAY


def check_source(name, rate, lame_options, frame_samples, folder, pool, checker):
    folder = os.path.join(folder, name)
    os.makedirs(folder)
    source = make_source(folder, name, rate, lame_options)
    source_info = information_frame(source)
    has_tag = source_info["count"] is not None
    # The source's timeline: as a gapless player plays it, or without a LAME
    # tag as decoded.
    timeline = source_info["audio_frames"] * frame_samples - source_info["delay"] - \
        source_info["padding"]

    wants = {}  # path: label, and what the part should give
    for kind, options in KINDS:
        parts = split(source, folder, kind, options)
        for index, (path, start_ms, end_ms) in enumerate(parts):
            first, last = index == 0, index == len(parts) - 1
            want = {"Label": f"{name} {kind} part {index + 1}", "Rate": rate,
                    "FrameSamples": frame_samples, "Id3v2": kind == "exact_id3v2",
                    "Raw": information_frame(path)["audio_frames"] * frame_samples,
                    "Tagged": information_frame(path)["count"] is not None}
            if kind.startswith("exact"):
                # The last of the equal parts runs to the end of the audio.
                end = timeline if last else sample_at(end_ms, rate)
                want["Played"] = want["Decoded"] = end - sample_at(start_ms, rate)
            elif not has_tag:
                want["Played"] = want["Decoded"] = \
                    information_frame(path)["audio_frames"] * frame_samples
            else:
                # A copied part: its own frames; the source's delay where it
                # begins the source, its padding where it ends it. A plain
                # part's count holds its information frame too.
                frames = information_frame(path)["audio_frames"]
                delay = source_info["delay"] if first else 0
                padding = source_info["padding"] if last else 0
                want["Played"] = frames * frame_samples - delay - padding
                count = frames + (1 if kind == "plain" else 0)
                want["Decoded"] = gapless_decoded(frames, count, delay, padding, frame_samples)
            wants[path] = want
        joined = join([p for p, _, _ in parts], os.path.join(folder, kind + "_joined.mp3"))
        # Parts in a row give the source back.
        wants[joined] = {"Label": f"{name} {kind} joined", "Rate": rate,
                         "FrameSamples": frame_samples, "Played": timeline, "Decoded": None,
                         "Id3v2": kind == "exact_id3v2",
                         "Raw": information_frame(joined)["audio_frames"] * frame_samples,
                         "Tagged": information_frame(joined)["count"] is not None}

    source_future = pool.submit(read, source, folder)
    futures = {path: pool.submit(read, path, folder) for path in wants}
    source_got = source_future.result()
    checker.expect(source_got["ffprobe_title"] == TITLE, f"{name}: the source's title")
    source_want = {"Raw": source_info["audio_frames"] * frame_samples}
    for path, want in wants.items():
        checker.part(want["Label"], futures[path].result(), want, source_got, source_want)


def main():
    checker = Checker()
    with tempfile.TemporaryDirectory(prefix="kerfline-players-") as folder:
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            for name, rate, lame_options, frame_samples in SOURCES:
                check_source(name, rate, lame_options, frame_samples, folder, pool, checker)
    for failure in checker.failures:
        print("FAIL", failure)
    print(f"{checker.checked - len(checker.failures)} of {checker.checked} checks hold")
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main())
