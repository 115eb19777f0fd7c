#!/usr/bin/env python3
"""Runs a test with small tmpfs volumes of its own, which the test fills:
    with_full_volume.py COMMAND [ARGUMENTS...]
ARDENWICK_FULL_VOLUME names, as Wine sees it (Z:...), a 1 MiB tmpfs mounted for the test. A test that
needs one over a folder of its own (the prefix's Analytics folder) writes that folder's Unix path into
"request" in the folder that ARDENWICK_FULL_VOLUME_REQUESTS names, and finds "mounted" or the error in
"reply" there. Volumes are mounted in this process's mount namespace, the one the prefix's wineserver
opens files in (a namespace of its own would hide them from a wineserver that is already running), and
unmounted when the command ends. Without root (or off Linux) neither variable is set, and the test says
so instead of passing."""
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time


def mount(folder):
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "ardenwick-full-volume", folder],
                            capture_output=True, text=True)
    return result.returncode == 0, result.stderr.strip()


def wine_path(folder):
    return "Z:" + folder.replace("/", "\\")


def serve_requests(requests, mounted, stop):
    request = os.path.join(requests, "request")
    while not stop.is_set():
        if os.path.exists(request):
            with open(request, encoding="utf-8") as file:
                folder = file.read().strip()
            os.remove(request)
            if folder.startswith("unmount:"):
                # The test gives its folder back before it removes the folder that holds it.
                folder = folder[len("unmount:"):]
                ok = folder in mounted and subprocess.run(["umount", "-l", folder]).returncode == 0
                if ok:
                    mounted.remove(folder)
                answer = "unmounted" if ok else "unmount failed"
            else:
                os.makedirs(folder, exist_ok=True)
                ok, error = mount(folder)
                if ok:
                    mounted.append(folder)
                answer = "mounted" if ok else "mount failed: " + error
            reply = os.path.join(requests, "reply")
            with open(reply + ".new", "w", encoding="utf-8") as file:
                file.write(answer)
            os.replace(reply + ".new", reply)
        time.sleep(0.05)


def main():
    command = sys.argv[1:]
    work = tempfile.mkdtemp(prefix="ardenwick-full-volume.")
    volume = os.path.join(work, "volume")
    requests = os.path.join(work, "requests")
    os.mkdir(volume)
    os.mkdir(requests)
    environment = dict(os.environ)
    mounted = []
    stop = threading.Event()
    server = None
    if sys.platform.startswith("linux") and mount(volume)[0]:
        mounted.append(volume)
        environment["ARDENWICK_FULL_VOLUME"] = wine_path(volume)
        environment["ARDENWICK_FULL_VOLUME_REQUESTS"] = wine_path(requests)
        server = threading.Thread(target=serve_requests, args=(requests, mounted, stop), daemon=True)
        server.start()
    try:
        return subprocess.run(command, env=environment).returncode
    finally:
        stop.set()
        if server:
            server.join()
        for folder in reversed(mounted):
            subprocess.run(["umount", "-l", folder])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
