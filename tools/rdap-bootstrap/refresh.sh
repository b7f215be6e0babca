#!/bin/sh
# SPDX-License-Identifier: MIT
# Replaces data/iana-rdap/ipv4.json and ipv6.json with IANA's current RDAP bootstrap files,
# which the build makes the program's built-in copy and `make package` puts in quorvex-data.
# Run by hand from anywhere in the source tree; the build and the tests never run it.
set -eu
TOP=$(cd "$(dirname "$0")/../.." && pwd)
DEST=$TOP/data/iana-rdap
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
for f in ipv4.json ipv6.json; do
  curl --fail --silent --show-error --proto '=https' --tlsv1.2 --max-filesize 1048576 \
    -o "$TMP/$f" "https://data.iana.org/rdap/$f"
  # A bootstrap file: an object with "publication" and a "services" list of
  # [[prefixes], [URLs]] pairs, at least one URL https.
  python3 - "$TMP/$f" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert isinstance(d.get("publication"), str), "no publication"
s = d["services"]
assert isinstance(s, list) and s, "no services"
for p, u in s:
    assert all(isinstance(x, str) and "/" in x for x in p), "bad prefix list"
    if not any(x.startswith("https://") for x in u):
        print("warning: a service without https:", p[:3], file=sys.stderr)
print(sys.argv[1].rsplit("/", 1)[1], "publication", d["publication"], len(s), "services")
PY
done
cp "$TMP/ipv4.json" "$TMP/ipv6.json" "$DEST/"
echo "Replaced $DEST/ipv4.json and ipv6.json; update the dates in $DEST/README.md."
echo "Rebuild (the built-in copy) and run make package (quorvex-data's copy) to ship them."
