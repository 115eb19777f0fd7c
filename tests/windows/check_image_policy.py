#!/usr/bin/env python3
"""Checks the image-load policy that the process entry sets, from a probe linked with the same entry.

    check_image_policy.py [EMULATOR...] RECORDER PROBE
        RECORDER runs tests/windows/helpers/policy_call_recorder.cpp, PROBE
        tests/windows/helpers/image_policy_probe.cpp

The recorder runs the probe as its debugger and prints the record that the entry hands to
SetProcessMitigationPolicy: it must be the image-load policy (10), 4 bytes, with NoRemoteImages,
NoLowMandatoryLabelImages and PreferSystem32Images, asked for before the probe's main. Where the system
fills in the query (Windows), the policy the probe reads back must carry the same flags; Wine 8 has both
calls as stubs that succeed and keep nothing (docs/wine-differences.md).
"""

import re
import subprocess
import sys

FLAGS = (("NoRemoteImages", 0x1), ("NoLowMandatoryLabelImages", 0x2), ("PreferSystem32Images", 0x4))


def missing(value):
    return [name for name, bit in FLAGS if not value & bit]


def main():
    *command, probe = sys.argv[1:]
    if len(command) > 1 and probe.startswith("/"):
        probe = "Z:" + probe.replace("/", "\\")  # a Windows path for the recorder under Wine
    run = subprocess.run(command + [probe], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         timeout=60)
    output = run.stdout
    print(output)
    if run.returncode != 0:
        return f"the recorder or the probe exited with {run.returncode}"
    call = re.search(r"entry call: SetProcessMitigationPolicy\((\d+), flags=([0-9a-f]{8}), (\d+)\)", output)
    if not call:
        return "the entry did not set the image-load policy"
    policy, value, size = int(call.group(1)), int(call.group(2), 16), int(call.group(3))
    if policy != 10 or size != 4:
        return f"the entry set policy {policy} with a {size}-byte record, not the image-load policy's 4 bytes"
    if missing(value):
        return f"the entry's image-load policy lacks {', '.join(missing(value))}"
    query = output.find("image load policy:")
    if query < 0 or call.start() > query:
        return "the policy was not set before main"
    filled = re.search(r"image load policy: flags=([0-9a-f]{8})", output)
    if filled and missing(int(filled.group(1), 16)):
        return f"the system's policy lacks {', '.join(missing(int(filled.group(1), 16)))}"
    if not filled and "image load policy: not filled" not in output:
        return "the probe printed no policy"
    print(f"ok: the entry set the image-load policy with flags {value:08x}")
    return None


if __name__ == "__main__":
    failure = main()
    if failure:
        print("FAILED:", failure)
        sys.exit(1)
