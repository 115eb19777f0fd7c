"""Lanes for the kit's run under Wine: worlds of their own in which tests that hold the prefix's user,
its named objects, the desktop or the release server's port run side by side (see lane-run).

Lane 0 is the run's own prefix, display and network. Each further lane gets a prefix of its own (a
separate Wine user and wineserver), an Xvfb display of its own and a network namespace of its own, held
open for the run by a sleeping process; lane-run enters them for each test. ctest hands out the lanes as the resource "wine_lane" (from the file resources_file() writes), one test
per lane at a time. On Windows there is one world, and the tests keep their resource locks instead.
"""

import json
import os
import pathlib
import shutil
import subprocess


def usable_count(wanted):
    """WANTED lanes where this host can make them (network namespaces need root), otherwise one."""
    if wanted <= 1:
        return 1
    tools = all(shutil.which(tool) for tool in ("unshare", "nsenter", "ip", "Xvfb", "flock"))
    if not tools or os.geteuid() != 0:
        print("run-tests: one Wine lane (further lanes need root, unshare, nsenter, ip, flock and Xvfb)")
        return 1
    return wanted


class Lanes:
    def __init__(self, directory, count, prepare_prefix):
        """PREPARE_PREFIX(environment) makes the prefix named by the environment and trusts the run's roots."""
        self.directory = directory
        self.count = count
        self.prepare_prefix = prepare_prefix
        self.displays = []
        self.networks = []
        self.prefixes = []

    def resources_file(self):
        lanes = [{"id": str(lane), "slots": 1} for lane in range(self.count)]
        path = self.directory / "lanes.json"
        path.write_text(json.dumps({"version": {"major": 1, "minor": 0}, "local": [{"wine_lane": lanes}]}),
                        encoding="ascii")
        return path

    def start(self):
        self.directory.mkdir(parents=True, exist_ok=True)
        os.environ["ARDENWICK_KIT_LANES"] = str(self.directory)
        for lane in range(1, self.count):
            folder = self.directory / str(lane)
            folder.mkdir(exist_ok=True)
            (folder / "display").write_text(self._start_display(), encoding="ascii")
            (folder / "netns-pid").write_text(str(self._start_network()), encoding="ascii")
            # The prefix is made through lane-run, in the lane's display and network, so that its
            # wineserver and Wine's own services run there.
            self.prefixes.append(dict(os.environ, CTEST_RESOURCE_GROUP_0_WINE_LANE=f"id:{lane},slots:1"))
        # The prefixes are made side by side: each takes Wine about ten seconds.
        failures = [message for message in self._prepare_all() if message]
        if failures:
            raise RuntimeError("could not prepare a Wine lane: " + "; ".join(failures))
        return self.resources_file()

    def _prepare_all(self):
        from concurrent.futures import ThreadPoolExecutor
        with ThreadPoolExecutor(max_workers=max(1, len(self.prefixes))) as pool:
            return list(pool.map(self.prepare_prefix, self.prefixes))

    def _start_display(self):
        read, write = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten",
                                   "tcp"], pass_fds=(write,), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as answer:
            number = answer.readline().strip()
        if not number.isdigit():
            server.kill()
            raise RuntimeError("Xvfb did not start a display for a Wine lane")
        self.displays.append(server)
        return ":" + number

    def _start_network(self):
        """A process in a network namespace of its own, with its loopback interface up."""
        holder = subprocess.Popen(["unshare", "--net", "sh", "-c", "ip link set lo up && echo up && exec sleep 1000000"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True)
        self.networks.append(holder)
        if holder.stdout.readline().strip() != "up":
            raise RuntimeError("could not make a network namespace for a Wine lane")
        return holder.pid

    def stop(self):
        for lane in range(1, self.count):
            subprocess.run(["/usr/lib/wine/wineserver", "-k"],
                           env=dict(os.environ, WINEPREFIX=str(self.directory / str(lane) / "wineprefix")),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for holder in self.networks:
            holder.kill()
            holder.wait()
        for server in self.displays:
            server.terminate()
            try:
                server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                server.kill()
        for lane in range(1, self.count):
            shutil.rmtree(self.directory / str(lane), ignore_errors=True)
