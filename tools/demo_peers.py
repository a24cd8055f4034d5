"""The demo's servers on 127.0.0.1, in one process: nginx as the three
download sources and the statistics server, and the HTTPS BI test service.

  python3 tools/demo_peers.py <folder>

Prints "ready" when both listen. Then each line on standard input is a
command:

  serve <installer file>   the sources' pointer file names the demo
                           installer, which is that file's bytes
  report                   prints what both channels received since the
                           last report
  (end of input)           stops the servers
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

from bi_service import REPORT_PATH, BiService  # noqa: E402
from peers import Nginx  # noqa: E402

INSTALLER_NAME = "ashfallbattle_demo.exe"


def report(nginx, service, seen):
    """Prints the requests after the first seen[0] statistics and seen[1]
    BI requests, and moves the marks on."""
    stats = nginx.stats_requests()
    bi = list(service.requests)
    print("statistics requests:")
    for request in stats[seen[0]:]:
        print("  dataType=%-4s extend=%s" % (request.fields.get("dataType"), request.extend))
    print("BI service requests:")
    for request in bi[seen[1]:]:
        if request.path == REPORT_PATH:
            body = request.json()
            print("  %-8s event_name=%s" % (request.path, body.get("event_name")))
        else:
            print("  %s" % request.path)
    seen[:] = [len(stats), len(bi)]
    sys.stdout.flush()


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    with Nginx(prefix=folder / "nginx") as nginx, BiService() as service:
        seen = [0, 0]
        print("ready", flush=True)
        for line in sys.stdin:
            command, _, argument = line.strip().partition(" ")
            if command == "serve":
                nginx.put_file("clienturl.ini", INSTALLER_NAME.encode())
                nginx.put_file(INSTALLER_NAME, Path(argument).read_bytes())
                print("serving %s as %s" % (argument, INSTALLER_NAME), flush=True)
            elif command == "report":
                report(nginx, service, seen)
                print("end of report", flush=True)


if __name__ == "__main__":
    main()
