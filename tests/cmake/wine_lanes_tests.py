#!/usr/bin/env python3
"""The kit's Wine lanes: a lane serves one test at a time, and a further lane is a world of its own.

    wine_lanes_tests.py LANE_RUN"""
import os
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import time


def lane_run(lanes, lane, *command, **options):
    environment = dict(os.environ, ARDENWICK_KIT_LANES=str(lanes), ARDENWICK_TEST_PROFILES="Z:\\run\\profiles",
                       CTEST_RESOURCE_GROUP_0_WINE_LANE=f"id:{lane},slots:1")
    return subprocess.Popen(["bash", LANE_RUN, *command], env=environment, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, **options)


def wait_for(path, seconds=20):
    deadline = time.monotonic() + seconds
    while not path.exists():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        lanes = pathlib.Path(work)
        started, release = lanes / "started", lanes / "release"
        # A test that holds lane 0 until it is told to end.
        holder = lane_run(lanes, 0, sys.executable, "-c",
                          "import pathlib, sys, time\n"
                          "pathlib.Path(sys.argv[1]).touch()\n"
                          "while not pathlib.Path(sys.argv[2]).exists(): time.sleep(0.05)\n",
                          str(started), str(release))
        if not wait_for(started):
            failures.append("the first test never started in lane 0")
        second = lane_run(lanes, 0, "true")
        out, err = second.communicate(timeout=30)
        if second.returncode == 0 or "lane 0 is already taken" not in err:
            failures.append(f"a second test ran in lane 0 while the first held it: {second.returncode} {err!r}")
        release.touch()
        holder.communicate(timeout=30)
        if holder.returncode != 0:
            failures.append(f"the holding test failed: {holder.returncode}")
        again = lane_run(lanes, 0, "true")
        again.communicate(timeout=30)
        if again.returncode != 0:
            failures.append("lane 0 stayed taken after its test ended")
        failing = lane_run(lanes, 0, "false")
        failing.communicate(timeout=30)
        if failing.returncode != 1:
            failures.append(f"a failing test's status was lost: {failing.returncode}")
        unassigned = subprocess.run(["bash", LANE_RUN, "true"], env=dict(os.environ, ARDENWICK_KIT_LANES=work),
                                    capture_output=True, text=True)
        if unassigned.returncode == 0:
            failures.append("a test without a lane ran anyway")

        # Lane 1: its own prefix and display, and a loopback network of its own.
        if os.geteuid() == 0 and shutil.which("unshare") and shutil.which("nsenter") and shutil.which("ip"):
            (lanes / "1").mkdir()
            (lanes / "1" / "display").write_text(":77", encoding="ascii")
            network = subprocess.Popen(["unshare", "--net", "sh", "-c", "ip link set lo up && echo up && exec sleep 600"],
                                       stdout=subprocess.PIPE, text=True)
            network.stdout.readline()
            (lanes / "1" / "netns-pid").write_text(str(network.pid), encoding="ascii")
            with socket.socket() as held:
                held.bind(("127.0.0.1", 0))
                held.listen()
                port = held.getsockname()[1]
                probe = lane_run(lanes, 1, sys.executable, "-c",
                                 "import os, socket, sys\n"
                                 "print(os.environ['ARDENWICK_WINEPREFIX'])\n"
                                 "print(os.environ['DISPLAY'])\n"
                                 "print(os.environ['ARDENWICK_TEST_PROFILES'])\n"
                                 "s = socket.socket(); s.bind(('127.0.0.1', int(sys.argv[1]))); print('bound')\n",
                                 str(port))
                out, err = probe.communicate(timeout=30)
            network.kill()
            network.wait()
            expected = [str(lanes / "1" / "wineprefix"), ":77", "Z:\\run\\profiles\\lane-1", "bound"]
            if out.split() != expected:
                failures.append(f"lane 1 is not a world of its own: {out.split()} {err!r}, expected {expected}")
        else:
            print("lane 1 not tried: network namespaces need root, unshare, nsenter and ip")
    for failure in failures:
        print("FAILED:", failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    LANE_RUN = sys.argv[1]
    sys.exit(main())
