#!/usr/bin/env python3
"""Turns a HOSTS file into a sorted, de-duplicated blocklist, the way list maintainers
often script it.

Keeps the lines whose first field is 0.0.0.0 or 127.0.0.1 and that have at least two fields,
lower-cases the second field, and writes each distinct name once, in byte order, as
"0.0.0.0<TAB>name". Fields are split on ASCII white space and only A-Z are lower-cased, so
for a file with LF line ends (awk would keep a CR in the last field) the output is byte for
byte that of
  awk '($1=="0.0.0.0"||$1=="127.0.0.1") && NF>=2 {print "0.0.0.0\t" tolower($2)}' IN |
      LC_ALL=C sort -u > OUT

Usage: peer_hosts.py IN OUT
"""

import sys


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: peer_hosts.py IN OUT\n")
        return 1
    source, target = argv
    blocked = (b"0.0.0.0", b"127.0.0.1")
    names = set()
    with open(source, "rb") as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 2 and fields[0] in blocked:
                names.add(fields[1].lower())
    with open(target, "wb") as f:
        f.write(b"".join(b"0.0.0.0\t" + name + b"\n" for name in sorted(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
