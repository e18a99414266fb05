import json
import os
import re
import signal
import subprocess

import clients
import harnow

HERE = os.path.dirname(os.path.abspath(__file__))
CHROMIUM = "/usr/bin/chromium"
PLAYWRIGHT = os.path.join(HERE, "node_modules", "playwright-core")
# The browser's link: the 15 MB clip takes it about 7 s, so a seek close to the end, a moment
# after playing starts, lands far beyond what has arrived.
BYTES_PER_SECOND = 2000000
CLIP_SECONDS = 20

PLAYER = """<!DOCTYPE html>
<html>
<head><meta charset="utf-8"><title>player</title></head>
<body>
<video src="clip.webm" muted preload="auto" width="160" height="120"></video>
</body>
</html>
"""


def make_clip(path):
    """A WebM clip of CLIP_SECONDS at 6 Mbit/s, noisy so the encoder cannot make it small.
    Its index comes first, so the player needs no request for the end of the file to seek."""
    command = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
               "testsrc2=size=320x240:rate=25:duration=%d,noise=alls=40:allf=t" % CLIP_SECONDS,
               "-c:v", "libvpx", "-b:v", "6M", "-minrate", "6M", "-maxrate", "6M",
               "-bufsize", "1M", "-deadline", "realtime", "-cpu-used", "8", "-g", "25",
               "-cues_to_front", "1", path]
    subprocess.run(command, check=True, timeout=120, stdin=subprocess.DEVNULL)


class Browser(clients.ClientTestCase):
    def setUp(self):
        harnow.require_tools(self, CHROMIUM, PLAYWRIGHT, "node", "ffmpeg")
        super().setUp()

    def drive(self, options, timeout=150):
        """Runs browser.mjs in a session of its own, so that a stuck browser is ended whole."""
        process = subprocess.Popen(["node", os.path.join(HERE, "browser.mjs"),
                                    json.dumps(options)], cwd=HERE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                   start_new_session=True)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            out, err = process.communicate()
            self.fail("browser run did not end; stderr: %s" % err.decode(errors="replace"))
        results = [line for line in out.decode().splitlines() if line.startswith("RESULT ")]
        self.assertTrue(results, "no result; stderr: %s" % err.decode(errors="replace"))
        return json.loads(results[-1][len("RESULT "):])

    def test_lists_follows_links_plays_and_seeks_a_video(self):
        # A name that only works if the listing is read as UTF-8 and its link is encoded.
        folder = "vidéos & clips #1"
        self.write(folder + "/player.html", PLAYER)
        make_clip(os.path.join(self.root, folder, "clip.webm"))
        # A phone's MP4 (H.264, its index at the end), as ffmpeg makes one by default.
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=duration=2",
                        "-pix_fmt", "yuv420p", os.path.join(self.root, folder, "movie.mp4")],
                       check=True, timeout=120, stdin=subprocess.DEVNULL)
        clip_size = os.path.getsize(os.path.join(self.root, folder, "clip.webm"))
        self.write("about.html", "<p>about</p>")
        self.write("pictures/logo.svg", '<svg xmlns="http://www.w3.org/2000/svg"/>')
        server = self.start()
        # The address the console tells people to open.
        address = next(line for line in server.lines if "open a browser" in line).split()[-1]

        artifacts = os.environ.get("HARNOW_ARTIFACTS") or self.output_dir()
        os.makedirs(artifacts, exist_ok=True)
        screenshot = os.path.join(artifacts, "listing.png")
        if os.path.exists(screenshot):
            os.remove(screenshot)
        result = self.drive({"url": address + "/", "directory": folder, "page": "player.html",
                             "screenshot": screenshot, "bytesPerSecond": BYTES_PER_SECOND,
                             "video": address + "/vid%C3%A9os%20%26%20clips%20%231/movie.mp4"})
        self.assertNotIn("failure", result, result)
        self.assertNotIn("pageError", result, result)

        root, directory, page = result["visited"]
        self.assertEqual(root["status"], 200)
        self.assertEqual(root["title"], os.path.basename(self.root))
        encoded = "/vid%C3%A9os%20%26%20clips%20%231"
        self.assertEqual(directory["url"], address + encoded)
        self.assertEqual(directory["title"], folder)
        self.assertEqual(page["url"], address + encoded + "/player.html")

        shot = result["screenshot"]
        with open(screenshot, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        # Text on a white page: some hundreds of pixels are not background.
        self.assertGreater(shot["ink"], 300, shot)
        self.assertGreater(shot["colours"], 2, shot)

        video = result["video"]
        self.assertIsNone(video["mediaError"], video)
        self.assertTrue(video["seeked"], video)
        self.assertGreaterEqual(video["afterSeek"], video["target"] - 0.6, video)
        self.assertTrue(video["ended"] or video["advancedTo"] > video["target"] + 0.4, video)

        # The browser fetched the clip in ranges, and each range was reported.
        # The console doubles '&' in a quoted path.
        quoted = re.escape('"%s/clip.webm"' % folder.replace("&", "&&"))
        ranged = re.compile(r'%s \((\d+)-(\d+)/%d\) video/webm' % (quoted, clip_size))
        ranges = [ranged.fullmatch(line) for line in server.settled_lines()]
        ranges = [(int(m.group(1)), int(m.group(2))) for m in ranges if m]
        self.assertTrue(ranges, server.lines)
        for first, last in ranges:
            self.assertLessEqual(first, last)
            self.assertLess(last, clip_size)
        # The seek near the end was fetched as a range of its own: on this link the second
        # half of the clip had not arrived when it was asked for.
        seek = [first for first, _ in ranges if first > clip_size // 2]
        self.assertTrue(seek, (clip_size, ranges))
        self.assertIn({"url": address + encoded + "/clip.webm", "status": 206,
                       "range": "bytes=%d-" % seek[0]}, result["media"], result["media"])
        # Opened as a page, the MP4 plays in Chromium's own player instead of being saved.
        self.assertEqual(result["opened"].get("type"), "video/mp4", result["opened"])
        self.assertGreater(result["opened"]["duration"], 1, result["opened"])
        self.assertIn('"%s/player.html" (%d) text/html' % (folder.replace("&", "&&"),
                                                          len(PLAYER.encode())),
                      server.lines)
