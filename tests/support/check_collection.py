#!/usr/bin/env python3
"""Checks the Ansible collection as ansible-core's own tools see it, offline: the sanity tests
that need no download, ansible-doc, and that the options the module declares to AnsibleModule
and those its DOCUMENTATION names agree in name, type and choices.

check_collection.py COLLECTION_FOLDER (the folder that holds ansible_collections/)"""
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import unittest.mock

import yaml

SANITY = ["action-plugin-docs", "compile", "empty-init", "future-import-boilerplate",
          "line-endings", "metaclass-boilerplate", "no-assert", "no-basestring",
          "no-dict-iteritems", "no-dict-iterkeys", "no-dict-itervalues", "no-get-exception",
          "no-illegal-filenames", "no-main-display", "no-smart-quotes", "no-unicode-literals",
          "replace-urlopen", "shebang", "symlinks", "use-argspec-type-path", "use-compat-six"]
NAME = "tessaly.transmitter.transmitter"


def declared_options(module_path):
    found = importlib.util.spec_from_file_location("collection_module", module_path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    taken = {}

    class Taken(Exception):
        pass

    def take(**kwargs):
        taken.update(kwargs)
        raise Taken()
    with unittest.mock.patch.object(module, "AnsibleModule", side_effect=take):
        try:
            module.main()
        except Taken:
            pass
    return taken["argument_spec"], yaml.safe_load(module.DOCUMENTATION)["options"]


def main():
    source = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as scratch:
        collection = os.path.join(scratch, "ansible_collections", "tessaly", "transmitter")
        shutil.copytree(os.path.join(source, "ansible_collections", "tessaly", "transmitter"),
                        collection)
        python = "%d.%d" % sys.version_info[:2]
        tests = [word for test in SANITY for word in ("--test", test)]
        subprocess.run(["ansible-test", "sanity", "--python", python] + tests, cwd=collection,
                       check=True, timeout=600)
        shown = subprocess.run(["ansible-doc", NAME], capture_output=True, text=True, check=True,
                               env=dict(os.environ, ANSIBLE_COLLECTIONS_PATH=scratch),
                               timeout=120).stdout
        if "> " + NAME.upper() not in shown:
            sys.exit("ansible-doc does not show " + NAME)
    declared, documented = declared_options(
        os.path.join(source, "ansible_collections/tessaly/transmitter/plugins/modules/transmitter.py"))
    for name in sorted(set(declared) | set(documented)):
        given, said = declared.get(name), documented.get(name)
        if given is None or said is None:
            sys.exit("option %s: only %s" % (name, "declared" if said is None else "documented"))
        for key in ("type", "choices", "default", "elements"):
            if given.get(key) != said.get(key):
                sys.exit("option %s: %s is %r where declared, %r in DOCUMENTATION"
                         % (name, key, given.get(key), said.get(key)))
    print("collection: %d sanity tests, ansible-doc and %d options agree" % (len(SANITY), len(declared)))


if __name__ == "__main__":
    main()
