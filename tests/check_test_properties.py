#!/usr/bin/env python3
"""Checks that every test of a build carries the properties it needs, as
CTest itself reads them (ctest --show-only=json-v1):

    check_test_properties.py CTEST BUILD_DIR linux|wine

Every GoogleTest case has VRK_SOURCE_DIR and VRK_BINARY_DIR in its
environment. Under Wine every test that runs in the build's prefix (all
GoogleTest cases, and every test whose environment names the prefix) requires
the wine_server fixture, so that none starts beside the server's start."""
import json
import subprocess
import sys

SELF = "Build.TestPropertiesAreWhole"


def main():
    ctest, build, mode = sys.argv[1:4]
    listing = subprocess.run([ctest, "--show-only=json-v1", "--test-dir", build],
                             capture_output=True, check=True, text=True).stdout
    tests = json.loads(listing)["tests"]
    problems = []
    gtests = 0
    for test in tests:
        name = test["name"]
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        env = props.get("ENVIRONMENT", [])
        command = " ".join(test.get("command", []))
        if "--gtest_filter=" in command:
            gtests += 1
            for var in ("VRK_SOURCE_DIR", "VRK_BINARY_DIR"):
                if not any(e.startswith(var + "=") for e in env):
                    problems.append("%s: no %s in its environment %s" % (name, var, env))
        # A test that runs in the build's prefix (a GoogleTest case, or one
        # whose environment names the prefix) waits for the prefix's server.
        in_prefix = "--gtest_filter=" in command or \
            any(e == "WINEPREFIX=" + build.rstrip("/") + "/wineprefix" for e in env)
        if mode == "wine" and in_prefix and name not in (SELF, "Wine.StartServer"):
            if "wine_server" not in props.get("FIXTURES_REQUIRED", []):
                problems.append("%s: does not require the wine_server fixture" % name)
    if gtests == 0:
        problems.append("no GoogleTest case was found in %s" % build)
    for p in problems:
        print(p)
    print("%d tests read, %d GoogleTest cases, %d problems" % (len(tests), gtests, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
