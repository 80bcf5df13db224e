#!/usr/bin/env python3
"""Checks that no layer includes a header of a layer above it.

Layers, lowest first (a file may include its own layer and those below):
  gt/core < gt/svc < gt/net < gt/util < tunnel/util < tunnel engine
  (tunnel/nat, tunnel/client, tunnel/forward, tunnel/NatTunnel)
  < tunnel/api, tunnel/encrypt, tunnel/Config < svr < app < app/gui
gt/svc and gt/net both link only the core: they stand side by side and never
include each other (gt/util links both). The cloud API (tunnel/api,
tunnel/encrypt, tunnel/Config) never includes the engine: the desktop client
links it without the engine. The client (app, app/gui) never includes the
engine or the service program (svr), whose classes share names with its own
(tunnel::IContext, tunnel::StatusService). Tests under tests/<layer> follow
the rule of the layer they test; tests/support and benchmarks are not checked.
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
    ("gt/core/", 0),
    ("gt/svc/", 1),
    ("gt/net/", 2),
    ("gt/util/", 3),
    ("tunnel/util/", 4),
    ("tunnel/nat/", 5),
    ("tunnel/client/", 5),
    ("tunnel/forward/", 5),
    ("tunnel/engine/", 5),  # tests of the engine as a whole
    ("tunnel/NatTunnel", 5),
    ("tunnel/api/", 6),
    ("tunnel/encrypt/", 6),
    ("tunnel/Config", 6),
    ("svr/", 7),
    ("app/", 8),
    ("app/gui/", 9),
]
ENGINE = ("tunnel/nat/", "tunnel/client/", "tunnel/forward/", "tunnel/NatTunnel")
CLOUD_API = ("tunnel/api/", "tunnel/encrypt/", "tunnel/Config")
# Layers side by side: neither links the other.
APART = [("gt/svc/", "gt/net/")]
CLIENT = ("app/",)
SERVICE = ("svr/",)
NAMES = {rank: prefix.rstrip("/") for prefix, rank in reversed(LAYERS)}
NAMES[5] = "tunnel engine"
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
                        if target[1] > own[1]:
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
