"""Reads one JSON value from stdin (failing on anything else) and prints each of its leaves
as "<path> <value>", the path's parts joined by dots ("meshes.0.faces 2"), with
"<path>.size <n>" for every list and objects; strings bare, everything else as JSON."""
import json
import sys


def walk(value, path):
    if isinstance(value, (dict, list)):
        items = value.items() if isinstance(value, dict) else enumerate(value)
        print(f"{path}.size {len(value)}")
        for key, item in items:
            walk(item, f"{path}.{key}" if path else str(key))
    else:
        print(path, value if isinstance(value, str) else json.dumps(value))


walk(json.load(sys.stdin), "")
