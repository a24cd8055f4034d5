"""End-to-end tests of the Windows program's window as a user meets it: the
real Fetchlet.exe under Wine on a virtual display, its screen compared with
the bitmaps the build embeds, the real pointer on its buttons, a drag by the
background, the close button's question and the contact dialog, with nginx
as the statistics server.

  python3 test_window.py --target windows --program build/windows/Fetchlet.exe \\
      --close-window build/windows/tests/close_window.exe --images build/windows/images
"""

import argparse
import subprocess
import sys
import time
import unittest
from pathlib import Path

import targets
import wine
from peers import Nginx, wait_until
from targets import ProgramTestCase
from test_startup import StatisticsAssertions

WINDOW_SIZE = (652, 282)
# Client rectangles (x, y, width, height) of the controls of the folder state.
INSTALL_RECT = (211, 112, 300, 50)
CLOSE_RECT = (622, 10, 20, 20)
MINIMISE_RECT = (592, 10, 20, 20)
FOLDER_LABEL_RECT = (140, 202, 64, 25)
FOLDER_ROW_RECT = (140, 202, 400, 25)    # label, edit and the browse button after it
FOLDER_EDIT_POINT = (300, 214)
VERSION_RECT = (472, 262, 180, 20)
CONTROL_RECTS = (INSTALL_RECT, CLOSE_RECT, MINIMISE_RECT, FOLDER_ROW_RECT, VERSION_RECT)
BACKGROUND_POINT = (100, 150)            # clear of every control
BUTTONS = {"install": INSTALL_RECT, "close": CLOSE_RECT, "min": MINIMISE_RECT}
# Where the pointer goes, in turn: a button or the background.
HOVER_PATH = ("install", "background", "close", "background", "min", "background",
              # straight from one button onto the next, as a quick sweep does
              "install", "close", "min", "background")
TEXT_COLOUR = (244, 158, 0)

# The bitmaps are 16-bit: a channel's 5 or 6 bits widen to 8 in more than one
# way, so a pixel may be off by up to 7 and still be the same colour.
PIXEL_SLACK = 8
MAX_MEAN_DIFFERENCE = 2.0   # per channel, over a region
MAX_OFF_SHARE = 0.01        # pixels off by more than the slack; a hover
                            # picture differs from its normal one in 6 % or more
MIN_TEXT_PIXELS = 20        # pixels of the text colour in a line of text
MIN_BACKGROUND_SHARE = 0.5  # of a transparent text's rectangle

PICTURE_TIMEOUT = 10.0      # from a pointer move until the screen shows it
DRAG_STEPS = ((20, 10), (20, 10), (20, 10))
CONTACT_CAPTION = "《Ashfall》在安装过程中遇到未知错误"
DIALOG_CLASS = "#32770"
FULL_PACKAGE_CAPTION = "下载完整客户端"
ROAD_TIMEOUT = 120.0
# Failed downloads go round faster; the seam only shortens pauses.
FAST_FAILURE = {"FETCHLET_TEST_RETRY_PAUSE_MS": "10", "FETCHLET_TEST_POLL_MS": "200"}


class Options:
    images = None


class Picture:
    """An image as 8-bit RGB rows, read through imagemagick."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def read(cls, path):
        size = subprocess.run(["identify", "-format", "%w %h", str(path)], check=True,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        width, height = (int(v) for v in size.stdout.split())
        pixels = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], check=True,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        if len(pixels.stdout) != width * height * 3:
            raise ValueError("%s: %d bytes for %dx%d" % (path, len(pixels.stdout), width, height))
        return cls(width, height, pixels.stdout)

    def crop(self, x, y, width, height):
        if x < 0 or y < 0 or x + width > self.width or y + height > self.height:
            raise ValueError("region %s outside %dx%d" % ((x, y, width, height),
                                                          self.width, self.height))
        rows = [self.data[((y + row) * self.width + x) * 3:
                          ((y + row) * self.width + x + width) * 3] for row in range(height)]
        return Picture(width, height, b"".join(rows))

    def tiled(self, width, height):
        """The picture repeated from the origin, as a pattern brush paints it."""
        row_bytes = [self.data[y * self.width * 3:(y + 1) * self.width * 3]
                     for y in range(self.height)]
        rows = []
        for y in range(height):
            row = row_bytes[y % self.height] * (width // self.width + 1)
            rows.append(row[:width * 3])
        return Picture(width, height, b"".join(rows))

    def pixels(self):
        data = self.data
        return (data[i:i + 3] for i in range(0, len(data), 3))


def inside(point, rects):
    x, y = point
    return any(rx <= x < rx + w and ry <= y < ry + h for rx, ry, w, h in rects)


def difference(shot, expected, leave_out=()):
    """The mean difference per channel and the share of pixels off by more
    than the slack, over the pixels outside the leave_out rectangles."""
    if (shot.width, shot.height) != (expected.width, expected.height):
        raise ValueError("%dx%d against %dx%d" % (shot.width, shot.height,
                                                  expected.width, expected.height))
    total = off = count = 0
    for index, (a, b) in enumerate(zip(shot.pixels(), expected.pixels())):
        if leave_out and inside((index % shot.width, index // shot.width), leave_out):
            continue
        deltas = [abs(a[k] - b[k]) for k in range(3)]
        total += sum(deltas)
        off += max(deltas) > PIXEL_SLACK
        count += 1
    return total / (3.0 * count), off / float(count)


def same(measured):
    mean, off_share = measured
    return mean <= MAX_MEAN_DIFFERENCE and off_share <= MAX_OFF_SHARE


def near(pixel, colour):
    return max(abs(pixel[k] - colour[k]) for k in range(3)) <= PIXEL_SLACK


class WindowTest(ProgramTestCase, StatisticsAssertions):
    # The terminal front end has no pictures.
    target_names = ("windows",)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.bitmaps = {name: Picture.read(Options.images / (name + ".bmp")) for name in (
                "background", "install_normal", "install_hover", "close_normal", "close_hover",
                "min_normal", "min_hover")}
        except Exception:
            cls.target.close()
            raise
        cls.background = cls.bitmaps["background"].tiled(*WINDOW_SIZE)

    def setUp(self):
        super().setUp()
        self.env = self.target.env()
        self.shot_path = self.target.work / "screen.png"

    # The run and its window.
    def start_window(self):
        run = self.target.start()
        self.assertTrue(self.target.wait_window(run),
                        "the window did not come up; stderr:\n" + run.stderr())
        self.window = wine.visible_windows(self.env, run.pid)[0]
        # Until the pointer first moves it sits in the screen's middle, on the
        # install button.
        self.move_pointer_off()
        return run

    def close_window(self, run):
        self.assertEqual(self.target.destroy_window(run), 0, run.stderr())

    def move_pointer_off(self):
        wine.xdotool(self.env, "mousemove", "0", "0")

    def move_pointer(self, x, y):
        wine.xdotool(self.env, "mousemove", "--window", self.window, str(x), str(y))

    def geometry(self):
        return wine.window_geometry(self.env, self.window)

    def client_shot(self):
        """The window's client area as it is on the screen now."""
        self.assertTrue(wine.screenshot(self.env, self.shot_path), "no screenshot")
        geometry = self.geometry()
        self.assertIsNotNone(geometry, "the window is gone")
        return Picture.read(self.shot_path).crop(*geometry)

    def fail_with_shot(self, message):
        """Fails, leaving the last screenshot beside the test for the reader."""
        kept = Path.cwd() / ("%s.png" % self.id().split(".")[-1])
        if self.shot_path.exists():
            kept.write_bytes(self.shot_path.read_bytes())
        self.fail("%s; screen kept in %s" % (message, kept))

    def assertPictures(self, wanted):
        """Waits until every client rectangle shows its bitmap; wanted is a
        list of (rect, bitmap name)."""
        measured = []

        def shows():
            shot = self.client_shot()
            measured[:] = [difference(shot.crop(*rect), self.bitmaps[name])
                           for rect, name in wanted]
            return all(same(m) for m in measured)

        if not wait_until(shows, PICTURE_TIMEOUT, interval=0.2):
            self.fail_with_shot("; ".join(
                "%s at %s: mean difference %.1f, %.1f %% of pixels off"
                % (name, rect, m[0], 100 * m[1]) for (rect, name), m in zip(wanted, measured)
                if not same(m)))

    def assertBackground(self, shot, what):
        """The class brush tiles the background under and beside the controls."""
        mean, off_share = difference(shot, self.background, CONTROL_RECTS)
        if not same((mean, off_share)):
            self.fail_with_shot("background %s: mean difference %.1f, %.1f %% of pixels off"
                                % (what, mean, 100 * off_share))

    # The folder state.
    def test_window_shows_the_embedded_pictures(self):
        with Nginx():
            run = self.start_window()
            # The X screen has no panels: the work area is the whole screen.
            centred = ((wine.SCREEN_WIDTH - WINDOW_SIZE[0]) // 2,
                       (wine.SCREEN_HEIGHT - WINDOW_SIZE[1]) // 2) + WINDOW_SIZE
            wait_until(lambda: self.geometry() == centred, PICTURE_TIMEOUT, interval=0.2)
            self.assertEqual(self.geometry(), centred, "the window is not centred")
            self.assertPictures([(rect, name + "_normal") for name, rect in BUTTONS.items()])
            self.assertBackground(self.client_shot(), "beside the controls")
            self.close_window(run)

    def test_buttons_show_their_hover_pictures_under_the_pointer(self):
        with Nginx():
            run = self.start_window()
            came_from = "outside"
            for step, place in enumerate(HOVER_PATH):
                with self.subTest(step=step, came_from=came_from, to=place):
                    if place == "background":
                        self.move_pointer(*BACKGROUND_POINT)
                    else:
                        x, y, width, height = BUTTONS[place]
                        self.move_pointer(x + width // 2, y + height // 2)
                    self.assertPictures([(rect, name + ("_hover" if name == place else "_normal"))
                                         for name, rect in BUTTONS.items()])
                came_from = place
            self.assertTrue(run.running(), "a pointer move ended the run")
            self.close_window(run)

    def test_static_texts_are_orange_on_the_background(self):
        texts = [("version line", VERSION_RECT), ("folder label", FOLDER_LABEL_RECT)]
        with Nginx():
            run = self.start_window()
            shot = self.client_shot()
            for what, rect in texts:
                with self.subTest(what):
                    pixels = list(shot.crop(*rect).pixels())
                    under = list(self.background.crop(*rect).pixels())
                    coloured = sum(near(p, TEXT_COLOUR) for p in pixels)
                    if coloured < MIN_TEXT_PIXELS:
                        self.fail_with_shot("%s: %d pixels of %s" % (what, coloured, TEXT_COLOUR))
                    # Transparent: between the strokes the background shows.
                    share = sum(near(p, q) for p, q in zip(pixels, under)) / float(len(pixels))
                    if share < MIN_BACKGROUND_SHARE:
                        self.fail_with_shot("%s: background in %.0f %% of its rectangle"
                                            % (what, 100 * share))
            self.close_window(run)

    def test_a_press_on_the_background_drags_the_window(self):
        # (where the press starts, whether the window follows)
        cases = [(BACKGROUND_POINT, True), (FOLDER_EDIT_POINT, False)]
        dx = sum(step[0] for step in DRAG_STEPS)
        dy = sum(step[1] for step in DRAG_STEPS)
        with Nginx():
            run = self.start_window()
            for point, moves in cases:
                with self.subTest(point=point):
                    before = self.geometry()
                    self.move_pointer(*point)
                    wine.xdotool(self.env, "mousedown", "1")
                    for step in DRAG_STEPS:
                        time.sleep(0.2)
                        wine.xdotool(self.env, "mousemove_relative", "--", *map(str, step))
                    time.sleep(0.2)
                    wine.xdotool(self.env, "mouseup", "1")
                    want = (before[0] + dx, before[1] + dy) if moves else before[:2]
                    if not moves:
                        time.sleep(1.0)   # a late move would show by then
                    after = wait_until(lambda: self.geometry()[:2] == want and self.geometry(),
                                       PICTURE_TIMEOUT, interval=0.2) or self.geometry()
                    self.assertEqual(after, want + WINDOW_SIZE, "window before: %s" % (before,))
                    if moves:
                        self.assertBackground(self.client_shot(), "where the drag left it")
            self.close_window(run)

    def test_close_button_asks_and_yes_ends_the_run(self):
        with Nginx() as nginx:
            run = self.start_window()
            self.assertTrue(self.target.press_close_button(run, yes=True),
                            "no box titled %s" % targets.CLOSE_CAPTION)
            code = run.wait()
            requests = nginx.wait_stats(lambda r: len(r) >= 2)
        self.assertEqual(code, 0, run.stderr())
        self.assertEvents(requests, [101, 103])
        self.assertExitEvent(requests[1], 101, "BtnClose", int(run.elapsed) + 1)

    # The contact dialog.
    def test_closing_the_contact_dialog_ends_the_run(self):
        base = self.target.work / "base"
        with Nginx() as nginx:
            # The installer the address file names is on no source.
            nginx.put_file("clienturl.ini", b"ashfallbattle_window.exe")
            run = self.target.start(args=["--IDIR", wine.windows_path(base)], env=FAST_FAILURE)
            box = wait_until(lambda: not run.running() or self.visible(run, FULL_PACKAGE_CAPTION),
                             ROAD_TIMEOUT, interval=0.2)
            if not (run.running() and box):
                self.fail("no box titled %s; exit code %s; log:\n%s" % (
                    FULL_PACKAGE_CAPTION, run.wait(), self.target.log_text()
                    if self.target.log_file.exists() else "none"))
            # No: the full package's page stays closed.
            wine.xdotool(self.env, "windowfocus", "--sync", box[0])
            wine.xdotool(self.env, "key", "Tab")
            wine.xdotool(self.env, "key", "Return")
            self.assertTrue(wait_until(lambda: not run.running() or self.visible(
                run, CONTACT_CAPTION), ROAD_TIMEOUT, interval=0.2) and run.running(),
                "no contact dialog; stderr:\n" + run.stderr())
            self.assertTrue(self.target.post_close(DIALOG_CLASS, CONTACT_CAPTION),
                            "no dialog to close")
            code = run.wait()
            requests = nginx.wait_stats(lambda r: r and r[-1].data_type == 103)
        self.assertEqual(code, 0, run.stderr())
        self.assertEqual([r.data_type for r in requests][-2:], [5, 103],
                         [r.data_type for r in requests])
        self.assertTrue(requests[-2].extend.endswith(",click cancel not download full pkg ;"),
                        requests[-2].extend)
        self.assertExitEvent(requests[-1], 5, "ContactClose.", int(run.elapsed) + 1)

    def visible(self, run, caption):
        return [w for w in wine.visible_windows(self.env, run.pid)
                if wine.window_name(self.env, w) == caption]


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--images", type=Path,
                        help="the folder of the bitmaps the build embeds (build/windows/images)")
    args, rest = parser.parse_known_args(sys.argv[1:])
    argv = targets.parse_args([sys.argv[0]] + rest)
    if targets.Options.target == "windows":
        if not args.images:
            parser.error("--target windows needs --images")
        Options.images = args.images.resolve()
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
