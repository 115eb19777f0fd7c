#!/usr/bin/env python3
"""Runs a test with a 1 MiB tmpfs of its own, which the test fills:
    with_full_volume.py COMMAND [ARGUMENTS...]
The volume is mounted in this process's own mount namespace, the one the prefix's wineserver opens files
in (a private namespace of its own would hide the volume from a wineserver that is already running), and
unmounted when the command ends. ARDENWICK_FULL_VOLUME names its folder as Wine sees it; without root (or
off Linux) it stays unset, and the test says so instead of passing."""
import os
import subprocess
import sys
import tempfile


def main():
    command = sys.argv[1:]
    folder = tempfile.mkdtemp(prefix="ardenwick-full-volume.")
    environment = dict(os.environ)
    mounted = False
    if sys.platform.startswith("linux"):
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0700", "ardenwick-full-volume", folder])
        mounted = result.returncode == 0
    if mounted:
        environment["ARDENWICK_FULL_VOLUME"] = "Z:" + folder.replace("/", "\\")
    try:
        return subprocess.run(command, env=environment).returncode
    finally:
        if mounted:
            subprocess.run(["umount", "-l", folder])
        os.rmdir(folder)


if __name__ == "__main__":
    sys.exit(main())
