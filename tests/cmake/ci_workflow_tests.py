#!/usr/bin/env python3
"""The CI workflow parses, passes the Windows test kit from its Linux job to its Windows job, and runs it
there with the README's command, keeping the JUnit XML.

    ci_workflow_tests.py WORKFLOW_YML README_MD"""
import re
import sys

import yaml

KIT = "ardenwick-windows-tests"


def readme_command(readme):
    """The one command of the README's "On a real Windows PC" section (its first code block)."""
    section = readme.split("## On a real Windows PC", 1)
    if len(section) < 2:
        return None
    section = section[1].split("\n## ", 1)[0]
    block = re.search(r"```\n(.*?)\n```", section, re.DOTALL)
    return block.group(1).strip() if block else None


def uses(step, action):
    return str(step.get("uses", "")).startswith(action + "@")


def problems(workflow, readme):
    found = []
    jobs = workflow.get("jobs") or {}
    linux = [job for job in jobs.values() if "ubuntu" in str(job.get("runs-on", ""))]
    windows = [job for job in jobs.values() if job.get("runs-on") == "windows-2022"]
    if len(linux) != 1 or len(windows) != 1:
        return [f"one Linux and one windows-2022 job expected, found {len(linux)} and {len(windows)}"]
    linux, windows = linux[0], windows[0]
    linux_id = next(name for name, job in jobs.items() if job is linux)

    if not any("scripts/test" in str(step.get("run", "")).split() for step in linux.get("steps", [])):
        found.append("the Linux job does not run scripts/test")
    kept = [step for step in linux.get("steps", []) if uses(step, "actions/upload-artifact")
            and str(step.get("with", {}).get("path", "")).strip() == f"build/windows/{KIT}.zip"]
    if len(kept) != 1 or kept[0]["with"].get("name") != KIT or "if" in kept[0]:
        found.append(f"the Linux job does not keep build/windows/{KIT}.zip as the artifact {KIT}")

    needs = windows.get("needs")
    if linux_id not in (needs if isinstance(needs, list) else [needs]):
        found.append("the Windows job does not wait for the Linux job")
    steps = windows.get("steps", [])
    runs = [str(step.get("run", "")).strip() for step in steps]
    got = [index for index, step in enumerate(steps)
           if uses(step, "actions/download-artifact") and step.get("with", {}).get("name") == KIT]
    unpacked = [index for index, run in enumerate(runs) if run.startswith("Expand-Archive") and f"{KIT}.zip" in run]
    command = readme_command(readme)
    ran = [index for index, run in enumerate(runs) if command and run == command]
    if command is None:
        found.append("the README has no command in its \"On a real Windows PC\" section")
    if not (got and unpacked and ran and got[0] < unpacked[0] < ran[0]):
        found.append(f"the Windows job does not get, unpack and run the kit with the README's command ({command})")
    if ran and steps[ran[0]].get("shell") != "pwsh":
        found.append("the kit's command must run in PowerShell, as a person would type it")
    results = [step for step in steps if uses(step, "actions/upload-artifact")
               and "results/*.xml" in str(step.get("with", {}).get("path", "")) and step.get("if") == "always()"]
    if not results:
        found.append("the Windows job does not keep the JUnit XML, also after a failure")
    return found


def main():
    with open(sys.argv[1], encoding="utf-8") as source:
        workflow = yaml.safe_load(source)
    with open(sys.argv[2], encoding="utf-8") as source:
        readme = source.read()
    found = problems(workflow if isinstance(workflow, dict) else {}, readme)
    for problem in found:
        print("FAILED:", problem)
    print(f"{len(found)} problems")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
