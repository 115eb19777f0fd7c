#!/usr/bin/env python3
"""Checks the image-load policy that the process entry sets, from a probe linked with the same entry.

    check_image_policy.py COMMAND...      (COMMAND runs tests/windows/helpers/image_policy_probe.cpp)

Where the system fills in the query (Windows), the policy must carry NoRemoteImages,
NoLowMandatoryLabelImages and PreferSystem32Images. Wine 8 has both calls as stubs that succeed and fill
nothing (docs/wine-differences.md); there its fixme trace must show the entry's call, with the
image-load policy (10) and its 4-byte record, before the probe's own query in main.
"""

import os
import re
import subprocess
import sys

NO_REMOTE_IMAGES, NO_LOW_MANDATORY_LABEL_IMAGES, PREFER_SYSTEM32_IMAGES = 0x1, 0x2, 0x4


def main():
    command = sys.argv[1:]
    environment = dict(os.environ, ARDENWICK_WINEDEBUG="fixme+process")
    run = subprocess.run(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         text=True, timeout=60)
    output, trace = run.stdout, run.stderr
    print(output, trace, sep="")
    if run.returncode != 0:
        return f"the probe exited with {run.returncode}"
    flags = re.search(r"image load policy: flags=([0-9a-f]{8})", output)
    if flags:
        value = int(flags.group(1), 16)
        missing = [name for name, bit in (("NoRemoteImages", NO_REMOTE_IMAGES),
                                          ("NoLowMandatoryLabelImages", NO_LOW_MANDATORY_LABEL_IMAGES),
                                          ("PreferSystem32Images", PREFER_SYSTEM32_IMAGES))
                   if not value & bit]
        return f"the policy lacks {', '.join(missing)}" if missing else None
    if "image load policy: not filled" not in output:
        return "the probe printed no policy"
    set_call = re.search(r"fixme:process:SetProcessMitigationPolicy \(10, [0-9A-Fa-f]+, 4\)", trace)
    query = trace.find("fixme:process:GetProcessMitigationPolicy")
    if not set_call:
        return "the entry did not set the image-load policy"
    if query < 0 or set_call.start() > query:
        return "the policy was not set before main"
    print("ok: the entry set the image-load policy (Wine: the call only, its flags are not visible)")
    return None


if __name__ == "__main__":
    failure = main()
    if failure:
        print("FAILED:", failure)
        sys.exit(1)
