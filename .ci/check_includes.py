#!/usr/bin/env python3
"""Checks that no layer includes a header of a layer above it.

Layers, lowest first (a file may include its own layer and those below):
  gt/core (gt/core/lang < gt/core/util < gt/core/io) < gt/svc < gt/net
  < gt/util < tunnel/util < tunnel engine
  < tunnel/api, tunnel/encrypt, tunnel/Config < svr < app < app/gui
Inside the engine each folder uses only those below it:
  tunnel/client < tunnel/forward < tunnel/NatTunnel < tunnel/nat
(tests/tunnel/engine, the engine as a whole, stand above them all).
gt/svc and gt/net both link only the core: they stand side by side and never
include each other (gt/util links both). The cloud API (tunnel/api,
tunnel/encrypt, tunnel/Config) never includes the engine: the desktop client
links it without the engine. The client (app, app/gui) never includes the
engine or the service program (svr), whose classes share names with its own
(tunnel::IContext, tunnel::StatusService). Tests under tests/<layer> follow
the rule of the layer they test, but for the floors of gt/core: a core test
links the whole core (the fatal-error test reads the log file back).
tests/support and benchmarks are not checked. The one include that reaches up
on purpose is listed in ALLOWED with its reason.
Inside app/gui, pages and dialogs know the main window only through
IMainWindow.h: MainWindow.h is included by the window's own sources
(MainWindow*.cpp) and main.cpp alone (tests may include it).
Prints one line per wrong include and exits 1 when there is any.
"""
import os
import re
import sys

# (path prefix, rank); the longest matching prefix wins.
LAYERS = [
    ("gt/core/lang/", 0),
    ("gt/core/util/", 1),
    ("gt/core/io/", 2),
    ("gt/svc/", 3),
    ("gt/net/", 4),
    ("gt/util/", 5),
    ("tunnel/util/", 6),
    ("tunnel/client/", 7),
    ("tunnel/forward/", 8),
    ("tunnel/NatTunnel", 9),
    ("tunnel/nat/", 10),
    ("tunnel/engine/", 11),  # tests of the engine as a whole
    ("tunnel/api/", 12),
    ("tunnel/encrypt/", 12),
    ("tunnel/Config", 12),
    ("svr/", 13),
    ("app/", 14),
    ("app/gui/", 15),
]
CORE_FLOORS = ("gt/core/",)
# Every floor of the core asserts through Fatal.h, so Fatal stays on the
# lowest one; its default handler appends the report with the time to
# "assert.log" beside the program, which takes the files and folders of io
# and the date of util.
ALLOWED = {
    ("gt/core/lang/Fatal.cpp", "gt/core/io/File.h"),
    ("gt/core/lang/Fatal.cpp", "gt/core/io/SystemFolders.h"),
    ("gt/core/lang/Fatal.cpp", "gt/core/util/DateTime.h"),
}
ENGINE = ("tunnel/nat/", "tunnel/client/", "tunnel/forward/", "tunnel/NatTunnel")
CLOUD_API = ("tunnel/api/", "tunnel/encrypt/", "tunnel/Config")
# Layers side by side: neither links the other.
APART = [("gt/svc/", "gt/net/")]
CLIENT = ("app/",)
SERVICE = ("svr/",)
NAMES = {rank: prefix.rstrip("/") for prefix, rank in reversed(LAYERS)}
NAMES[11] = "the engine's tests"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_DIRS = ["gt", "tunnel", "svr", "app", "tests/gt", "tests/tunnel", "tests/svr", "tests/app"]
MAIN_WINDOW = "app/gui/MainWindow.h"
MAIN_WINDOW_OWN = re.compile(r"^app/gui/(MainWindow[A-Za-z]*\.cpp|main\.cpp)$")


def layer(path):
    best = None
    for prefix, rank in LAYERS:
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            best = (prefix, rank)
    return best


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = []
    for top in SOURCE_DIRS:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                full = os.path.join(folder, name)
                rel = os.path.relpath(full, root)
                own = layer(rel[len("tests/"):] if rel.startswith("tests/") else rel)
                if own is None:
                    continue
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        if (m.group(1) == MAIN_WINDOW and rel.startswith("app/")
                                and not MAIN_WINDOW_OWN.match(rel)):
                            faults.append("%s:%d: only the main window's own sources and main.cpp include %s;"
                                          " a page or dialog uses app/gui/IMainWindow.h"
                                          % (rel, number, MAIN_WINDOW))
                        target = layer(m.group(1))
                        if target is None:
                            continue
                        if (rel, m.group(1)) in ALLOWED:
                            continue
                        if target[1] > own[1] and not (rel.startswith("tests/") and own[0].startswith(CORE_FLOORS)
                                                       and target[0].startswith(CORE_FLOORS)):
                            faults.append("%s:%d: %s includes %s from the higher layer %s"
                                          % (rel, number, NAMES[own[1]], m.group(1), NAMES[target[1]]))
                        elif own[0] in CLOUD_API and m.group(1).startswith(ENGINE):
                            faults.append("%s:%d: the cloud API includes the tunnel engine (%s)"
                                          % (rel, number, m.group(1)))
                        elif (own[0], target[0]) in APART or (target[0], own[0]) in APART:
                            faults.append("%s:%d: %s includes %s from %s, which it does not link"
                                          % (rel, number, NAMES[own[1]], m.group(1), NAMES[target[1]]))
                        elif own[0].startswith(CLIENT) and m.group(1).startswith(ENGINE + SERVICE):
                            faults.append("%s:%d: the desktop client includes the engine or the service (%s)"
                                          % (rel, number, m.group(1)))
    for fault in faults:
        print(fault)
    if faults:
        print("include direction: %d wrong include(s); a layer may include only itself and the layers below"
              % len(faults))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
