"""End-to-end tests of the Linux build's terminal front end: the real program
in window mode with its buttons and answers typed ahead into standard input,
and its texts in a file or a pipe, against the road suite's peers and fixture
programs.

  python3 test_terminal.py --target linux --program build/linux/fetchlet \\
      --fixture build/linux/tests/fake_client
"""

import shutil
import subprocess

import targets
import test_road
from bi_service import BiService
from peers import Nginx
from targets import CLOSE_QUESTION
from test_road import ROAD_EVENTS, ROAD_TIMEOUT, RoadTestCase

# All three sources failing: the failure question, then the contact dialog.
FAILED_ROAD_EVENTS = [101, 1, 2, 1, 2, 1, 2, 2, 5, 103]
# Answers typed ahead used to go astray now and then: a run of its own
# catches a rare loss.
PIPED_RUNS = 20
# Such a road takes a second or two; a run that waits for a lost answer is
# given up long before the road suite's bound.
FAILED_ROAD_TIMEOUT = 30.0
DOWNLOADING = "正在下载《Ashfall》战网"


class TerminalTestCase(RoadTestCase):

    target_names = ("linux",)

    def start_typed(self, lines, close_input):
        """Starts the window with every line already typed, in one write."""
        run = self.target.start(env=self.env)
        self.assertTrue(run.stdin is not None)
        run.stdin.write("".join(line + "\n" for line in lines).encode("utf-8"))
        run.stdin.flush()
        if close_input:
            run.stdin.close()
        return run

    def assertNoLineRepeated(self, text):
        """Without a terminal a status text is written when it changes, not
        on every progress report."""
        lines = text.splitlines()
        repeated = sorted({a for a, b in zip(lines, lines[1:]) if a == b})
        self.assertEqual(repeated, [], "lines written twice in a row:\n" + text)


class TypedAheadTest(TerminalTestCase):

    def test_answers_piped_in_one_write_reach_their_questions(self):
        # The install button (with the folder typed first), No to the full
        # package, and the contact dialog's QQ, WeChat and mobile fields.
        lines = [str(self.folder), "n", "111", "wx", "222"]
        for index in range(PIPED_RUNS):
            finished = False
            with self.subTest(run=index), Nginx() as nginx, BiService() as service:
                shutil.rmtree(self.base, ignore_errors=True)
                shutil.rmtree(self.target.data_dir, ignore_errors=True)
                self.serve(nginx, installer_sources=())
                # Half the users leave right after typing: the answers must
                # still count, and the dialog's end is the run's end.
                run = self.start_typed(lines, close_input=index % 2 == 0)
                code = run.wait(FAILED_ROAD_TIMEOUT)
                self.assertEqual(code, 0, run.stderr())
                stats = self.assertRoad(nginx, service, FAILED_ROAD_EVENTS,
                                        "ContactBtnOK,QQ=111,Wechat=wx,Mobile=222")
                self.assertTrue(self.extend_of(stats, 5).endswith(
                    ",click cancel not download full pkg ;"), self.extend_of(stats, 5))
                self.assertNoLineRepeated(run.stderr())
                finished = True
            if not finished:
                break  # one lost answer says it all


class RoadEndTest(TerminalTestCase):

    def test_close_question_open_at_the_roads_end_closes_with_it(self):
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx)
            # The close button pressed while the road runs, its question
            # never answered; input stays open.
            run = self.start_typed([str(self.folder), "q"], close_input=False)
            code = run.wait(ROAD_TIMEOUT)
            self.assertIsNotNone(code, "the run waited for an answer after its end:\n"
                                 + run.stderr())
            self.assertEqual(code, 0, run.stderr())
            self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
        stderr = run.stderr()
        self.assertIn(CLOSE_QUESTION, stderr)
        self.assertInstalled()
        self.assertNoLineRepeated(stderr)

    def test_a_pipe_gets_each_status_text_once_in_a_row(self):
        with Nginx() as nginx, BiService() as service:
            self.serve(nginx)
            result = subprocess.run(
                [str(self.target.program), "--IDIR", str(self.base)],
                env=dict(self.target.env(), **self.env), cwd=self.target.work,
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                timeout=ROAD_TIMEOUT)
            stderr = result.stderr.decode("utf-8", "replace")
            self.assertEqual(result.returncode, 0, stderr)
            self.assertRoad(nginx, service, ROAD_EVENTS, "Success")
        self.assertIn(DOWNLOADING, stderr)
        self.assertNoLineRepeated(stderr)


def main():
    targets.main_with_path("fixture", "build/linux/tests/fake_client",
                           lambda path: setattr(test_road.Options, "fixture", path))


if __name__ == "__main__":
    main()
