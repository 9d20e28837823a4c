#!/usr/bin/env python3
"""Plays an H.264 MP4 written by reelkit in headless Chromium, served over loopback HTTP: the
clip must play to its end, last as long as the recording's pictures (within one frame), and show
the right picture, in the right colours, at chosen times.

  browser_playback_test.py --reelkit PATH --record PATH --work DIR

Exits 77 (skipped) when Chromium is missing or cannot decode H.264 at all."""

import argparse
import base64
import http.server
import json
import math
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading

import pictures

SKIPPED = 77
FRAME_SECONDS = 0.1
# A time inside each of: a moving stretch, the idle stretch, the stretch after it, the last frame.
CHECK_TIMES = (0.35, 1.75, 2.65, 2.85)
# H.264 at its ordinary quality keeps flat colours and a 16-pixel square well above this; a
# neighbouring picture (the square 9 pixels off) or a wrong colour matrix falls below it.
MIN_PSNR_DB = 32.0
PAGE = pathlib.Path(__file__).with_name("playback_page.html")


def run(arguments):
    completed = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if completed.returncode != 0:
        raise RuntimeError(f"{arguments[0]} failed:\n{completed.stdout.decode(errors='replace')}")
    return completed.stdout


def make_clip(args, work):
    """The recording, our MP4 of it, and the pictures a lossless conversion shows every tenth."""
    frames = work / "pictures"
    frames.mkdir()
    pictures.write_pictures(frames)
    recording = work / "clip.rcrec"
    run([args.record, "--frames", str(frames), "--depth", "32", "-o", str(recording)])
    run([args.reelkit, "-in", str(recording), "-out", str(work / "clip.mp4"), "-fourcc", "H264"])
    run([args.reelkit, "-in", str(recording), "-out", str(work / "clip.avi"), "-fourcc", "MRLE"])
    raw = run(["ffmpeg", "-nostdin", "-v", "error", "-i", str(work / "clip.avi"), "-f", "rawvideo",
               "-pix_fmt", "rgba", "-"])
    size = pictures.WIDTH * pictures.HEIGHT * 4
    return [raw[at:at + size] for at in range(0, len(raw), size)]


class Handler(http.server.SimpleHTTPRequestHandler):
    """Serves the work folder with byte ranges, which a media element asks for to seek, and takes
    the page's one result."""

    def do_GET(self):
        path = pathlib.Path(self.directory) / self.path.split("?")[0].lstrip("/")
        if self.path.startswith("/playback_page.html"):
            path = PAGE
        if not path.is_file():
            self.send_error(404)
            return
        body = path.read_bytes()
        first, last = 0, len(body) - 1
        wanted = self.headers.get("Range", "")
        if wanted.startswith("bytes="):
            start, _, end = wanted[6:].split(",")[0].partition("-")
            first = int(start) if start else len(body) - int(end)
            last = min(int(end), last) if start and end else last
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {first}-{last}/{len(body)}")
        else:
            self.send_response(200)
        self.send_header("Content-Type", "text/html" if path.suffix == ".html" else "video/mp4")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        self.wfile.write(body[first:last + 1])

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(204)
        self.end_headers()
        self.server.result = json.loads(body)
        self.server.arrived.set()

    def log_message(self, *_):
        pass


def play_in_chromium(chromium, work, timeout):
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), lambda *a: Handler(*a, directory=str(work)))
    server.result = None
    server.arrived = threading.Event()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    times = ",".join(str(t) for t in CHECK_TIMES)
    port = server.server_address[1]
    url = f"http://127.0.0.1:{port}/playback_page.html?video=clip.mp4&times={times}"
    with open(work / "chromium.log", "wb") as log:
        # Its own session, so that the browser and every helper process it starts end together.
        browser = subprocess.Popen(
            [chromium, "--headless=new", "--disable-gpu", "--no-sandbox", "--no-first-run",
             "--autoplay-policy=no-user-gesture-required", "--mute-audio",
             f"--user-data-dir={work / 'profile'}", url],
            stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            server.arrived.wait(timeout)
        finally:
            os.killpg(browser.pid, signal.SIGKILL)
            browser.wait()
            server.shutdown()
    if server.result is None:
        raise RuntimeError(f"no result from the page within {timeout} s; "
                           f"see {work / 'chromium.log'}")
    return server.result


def psnr(shown, expected):
    """Over the colour channels of two RGBA pictures."""
    squares = sum((a - b) ** 2 for i, (a, b) in enumerate(zip(shown, expected)) if i % 4 != 3)
    mean = squares / (len(expected) * 3 / 4)
    return math.inf if mean == 0 else 10 * math.log10(255 * 255 / mean)


def check(result, expected_frames):
    faults = []
    expected_duration = len(expected_frames) * FRAME_SECONDS
    if abs(result["duration"] - expected_duration) > FRAME_SECONDS + 1e-6:
        faults.append(f"duration {result['duration']} s, expected {expected_duration:.1f} s")
    if abs(result["endedAt"] - result["duration"]) > FRAME_SECONDS + 1e-6:
        faults.append(f"playback ended at {result['endedAt']} s of {result['duration']} s")
    if (result["width"], result["height"]) != (pictures.WIDTH, pictures.HEIGHT):
        faults.append(f"picture {result['width']}x{result['height']}, "
                      f"expected {pictures.WIDTH}x{pictures.HEIGHT}")
        return faults
    for frame in result["frames"]:
        index = int(frame["time"] / FRAME_SECONDS)
        shown = base64.b64decode(frame["rgba"])
        quality = psnr(shown, expected_frames[index])
        print(f"at {frame['time']} s: {quality:.1f} dB against frame {index}")
        if quality < MIN_PSNR_DB:
            faults.append(f"at {frame['time']} s the picture is {quality:.1f} dB from frame "
                          f"{index}, below {MIN_PSNR_DB} dB")
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reelkit", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--timeout", type=float, default=90)
    args = parser.parse_args()
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        print("skipped: no chromium on PATH (scripts/install-deps.sh installs it)")
        return SKIPPED
    work = pathlib.Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    expected_frames = make_clip(args, work)
    result = play_in_chromium(chromium, work, args.timeout)
    if "error" in result:
        print(f"the page failed: {result['error']}")
        return 1
    if result["canPlay"] == "":
        print("skipped: this Chromium build decodes no H.264")
        return SKIPPED
    print(f"duration {result['duration']} s, {result['width']}x{result['height']}, "
          f"{len(expected_frames)} frames expected")
    faults = check(result, expected_frames)
    for fault in faults:
        print("FAULT:", fault)
    if not faults:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
