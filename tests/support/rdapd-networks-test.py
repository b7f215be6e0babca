#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# rdapd.py's --networks answers: which listed network answers a path, in what shape, and that
# the fixed routes and the other registries' hosts answer as without the file. The bulk
# benchmark counts requests per network by these answers; a wrong network would count wrong.
import importlib.util
import json
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
found = importlib.util.spec_from_file_location("rdapd", os.path.join(HERE, "rdapd.py"))
rdapd = importlib.util.module_from_spec(found)
found.loader.exec_module(rdapd)
FIXTURES = os.path.join(HERE, "..", "whois", "rdap")

failures = []


def check(name, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (name, got, want))


with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
    f.write("# the log's networks\n3.0.0.0/24\n\n  4.0.7.0/24  \n10.0.0.0/8\n10.1.2.0/24\n8.8.8.0/24\n")
    path = f.name
try:
    nets = rdapd.Networks(path)
finally:
    os.unlink(path)

# The network that answers each question: the most specific one holding it, or none.
for query, want in [
    ("3.0.0.1", "3.0.0.0/24"), ("3.0.0.0", "3.0.0.0/24"), ("3.0.0.255", "3.0.0.0/24"), ("4.0.7.9", "4.0.7.0/24"),
    ("3.0.1.0", None), ("2.255.255.255", None),
    ("10.1.2.3", "10.1.2.0/24"), ("10.1.3.3", "10.0.0.0/8"),
    ("3.0.0.0/24", "3.0.0.0/24"), ("3.0.0.128/25", "3.0.0.0/24"), ("3.0.0.0/16", None), ("10.1.0.0/16", "10.0.0.0/8"),
    ("03.0.0.1", None), ("3.0.0.1/33", None), ("AS15169", None), ("2001:db8::1", None), ("", None), ("3.0.0.1?x", None),
]:
    net = nets.find(query)
    check("find(%r)" % query, str(net) if net else None, want)

# ARIN's shape: the range, its prefix, the registrant and the abuse role inside it.
doc = json.loads(json.dumps(rdapd.arin_network(nets.find("4.0.7.9"))))
check("class", doc["objectClassName"], "ip network")
check("range", (doc["startAddress"], doc["endAddress"]), ("4.0.7.0", "4.0.7.255"))
check("cidr0", doc["cidr0_cidrs"], [{"v4prefix": "4.0.7.0", "length": 24}])
check("port43", doc["port43"], "whois.arin.net")
holder = doc["entities"][0]
check("registrant", (holder["roles"], holder["handle"]), (["registrant"], "H-4-0-7-0"))
abuse = holder["entities"][0]
check("abuse role", abuse["roles"], ["abuse"])
check("abuse mailbox", [p[3] for p in abuse["vcardArray"][1] if p[0] == "email"], ["abuse@4-0-7-0.example"])

# Routes: the fixed routes first, the networks on ARIN's host only, 404 elsewhere and without.
routes = rdapd.Routes(FIXTURES, nets)
plain = rdapd.Routes(FIXTURES)
with open(os.path.join(FIXTURES, "arin-ip-8.8.8.8.json"), "rb") as f:
    google = f.read()
check("fixed route", routes.answer("rdap.arin.net", "/registry/ip/8.8.8.8").body, google)
a = routes.answer("rdap.arin.net", "/registry/ip/3.0.0.77")
check("network", (a.status, a.doc and a.doc["handle"]), (200, "NET-3-0-0-0-1"))
a = routes.answer("rdap.arin.net", "/registry/ip/3.0.0.0/24")
check("prefix", (a.status, a.doc and a.doc["handle"]), (200, "NET-3-0-0-0-1"))
for name, router, host, where in [
    ("outside the networks", routes, "rdap.arin.net", "/registry/ip/3.0.1.1"),
    ("RIPE's host", routes, "rdap.db.ripe.net", "/ip/3.0.0.1"),
    ("another path of ARIN's", routes, "rdap.arin.net", "/registry/autnum/3.0.0.1"),
    ("without --networks", plain, "rdap.arin.net", "/registry/ip/3.0.0.1"),
]:
    check(name, router.answer(host, where).status, 404)

for line in failures:
    print("FAIL", line)
print("%s: %d failed" % (os.path.basename(__file__), len(failures)))
sys.exit(1 if failures else 0)
