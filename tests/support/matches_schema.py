#!/usr/bin/python3
"""matches-schema SCHEMA FILE: prints "valid" when FILE (JSON, or JSON Lines when it ends in
.jsonl) matches the JSON schema SCHEMA, else fails with jsonschema's message."""
import json
import sys

import jsonschema

schema = json.load(open(sys.argv[1]))
with open(sys.argv[2]) as given:
    documents = [json.loads(line) for line in given] if sys.argv[2].endswith(".jsonl") \
        else [json.load(given)]
for document in documents:
    jsonschema.validate(document, schema)
print("valid")
