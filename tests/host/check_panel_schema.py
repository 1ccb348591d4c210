"""The panel file schema against zarn_host's loader: every panel file of the
repository is valid, and files the loader refuses are invalid too.

    check_panel_schema.py SCHEMA SOURCE_DIR
"""
import json
import os
import pathlib
import sys

import jsonschema

# Files the loader refuses (tests/host/panel_file_test.cpp), by what is wrong.
REFUSED = {
    "unknown top-level key": {"controls": [], "colour": "red"},
    "unknown control key": {"controls": [{"id": "a", "lable": "A"}]},
    "unknown entry key": {"controls": [{"id": "l", "kind": "list",
                                        "entries": [{"text": "x", "value": "1", "colour": "red"}]}]},
    "unknown layout cell key": {"controls": [{"id": "a"}], "layout": [[{"text": "x", "width": 3}]]},
    "no controls": {},
    "title not a text": {"title": True, "controls": []},
    "label a fraction": {"controls": [{"id": "a", "label": 1.5}]},
    "property an array": {"controls": [{"id": "a", "properties": {"text": ["x"]}}]},
    "glyph null": {"controls": [], "glyphs": {"red": None}},
    "layout cell true": {"controls": [{"id": "a"}], "layout": [[True]]},
    "entry without value": {"controls": [{"id": "l", "kind": "list", "entries": [{"text": "Cam 1"}]}]},
    "entry value false": {"controls": [{"id": "l", "kind": "list", "entries": [{"text": "C", "value": False}]}]},
    "entries on a button": {"controls": [{"id": "b", "entries": []}]},
    "entries on a text": {"controls": [{"id": "t", "kind": "text", "entries": []}]},
    "empty id": {"controls": [{"id": ""}]},
    "comma in id": {"controls": [{"id": "a,b"}]},
}
# Files the loader takes with a warning, which the schema refuses: the
# warning's advice is to change them.
WARNED = {
    "unknown kind": {"controls": [{"id": "a", "kind": "frobnicator"}]},
}
# Files the loader takes that look unusual.
ACCEPTED = {
    "numbers as texts": {"controls": [{"id": 5, "kind": "list", "label": 1,
                                       "entries": [{"text": "Cam 1", "value": 11}]}], "layout": [[5]]},
    "every key": {"$schema": "zarn_ui.schema.json", "comment": "c", "title": "T", "hint": "h", "glyphs": {"": "[ ]"},
                  "controls": [{"id": "a", "kind": "button", "label": "", "properties": {"pixmap": ""},
                                "defaultProperty": "pixmap", "command": "c", "value": "v", "comment": "c"}],
                  "layout": [["a", {"text": ""}]]},
}


def main():
    schema = json.loads(pathlib.Path(sys.argv[1]).read_text(encoding="utf-8"))
    source = pathlib.Path(sys.argv[2])
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    faults = []
    files = []
    for folder, subfolders, names in os.walk(source):
        subfolders[:] = [d for d in subfolders if not d.startswith(("build", ".")) and d != "node_modules"]
        files += [pathlib.Path(folder, n) for n in names if n.endswith(".zarn_ui")]
    files.sort()
    if len(files) < 4:
        faults.append(f"only {len(files)} panel files found under {source}")
    for path in files:
        for error in validator.iter_errors(json.loads(path.read_text(encoding="utf-8"))):
            faults.append(f"{path.relative_to(source)}: {error.json_path}: {error.message}")
    for name, document in {**REFUSED, **WARNED}.items():
        if validator.is_valid(document):
            faults.append(f"the schema accepts a file the loader refuses: {name}")
    for name, document in ACCEPTED.items():
        for error in validator.iter_errors(document):
            faults.append(f"the schema refuses a file the loader takes ({name}): {error.json_path}: {error.message}")
    for fault in faults:
        print(fault)
    print(f"{len(files)} panel files, {len(REFUSED)} refused and {len(ACCEPTED)} accepted cases: "
          f"{'FAILED' if faults else 'schema and loader agree'}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
