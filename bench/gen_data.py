#!/usr/bin/env python3
"""Writes the benchmark inputs: a HOSTS file, a plain domain list and a domain-only file.

The output depends only on the seed and the line count: the same arguments give the same
bytes on any machine (each file draws from its own random.Random seeded with a string, whose
sequence Python keeps stable across versions; nothing iterates over a set or a dict whose
order could vary).

The files imitate published blocklists: mostly "0.0.0.0 name" and "127.0.0.1<TAB>name"
lines, comment blocks and inline comments, "www." names, about 10 % repeated names (often in
another case or with another address), mixed case, a few LAN and IPv6 addresses, punycode
labels. Lines end with LF and the text is ASCII, as in most lists found online.

Usage: gen_data.py --out DIR [--seed N] [--lines N]
Writes DIR/hosts.txt, DIR/domains.txt, DIR/domain-only.txt, each of exactly N lines.
"""

import argparse
import os
import random
import sys

# Words that real blocking lists are full of; used for subdomain labels, second-level
# domains and comments.
WORDS = (
    "ad ads adserver adservice adsrv adtech advert adverts affiliate analytics api app apps "
    "banner banners beacon bet bid bidder bids cdn click clicks cloud collect collector "
    "content counter crypto data delivery download edge event events feed free game games "
    "img images log logs login mail match media metric metrics miner mining mobile news "
    "notify offer offers partner partners pixel pop popup promo push rtb secure serve server "
    "shop smart stat static stats stream survey sync tag tags telemetry track tracker "
    "tracking traffic update video view web widget win"
).split()

# Syllables for made-up brand names, so that a million names stay mostly distinct.
SYLLABLES = (
    "ab ac ad al am an ar as at ba be bi bo bu ca ce ci co cu da de di do du el em en er es "
    "fa fe fi fo ga ge gi go gu ha he hi ho ix ja jo ka ke ki ko ku la le li lo lu ma me mi "
    "mo mu na ne ni no nu ob ol om on or pa pe pi po pu qu ra re ri ro ru sa se si so su ta "
    "te ti to tu ub ul um un ur va ve vi vo xa xo ya yo za ze zi zo ly ny ck st tr pl"
).split()

# Top-level domains, weighted roughly by how often they show up in blocklists.
TLDS = (
    ("com", 36), ("net", 10), ("org", 4), ("info", 3), ("ru", 4), ("de", 3), ("fr", 2),
    ("io", 2), ("xyz", 3), ("top", 3), ("cn", 2), ("co.uk", 1), ("com.br", 1), ("jp", 1),
    ("pl", 1), ("nl", 1), ("it", 1), ("es", 1), ("online", 2), ("site", 2), ("club", 1),
    ("biz", 1), ("tk", 1), ("ml", 1), ("me", 1), ("tv", 1), ("cc", 1), ("us", 1), ("eu", 1),
    ("in", 1), ("vn", 1), ("xn--p1ai", 1), ("xn--fiqs8s", 1),
)
TLD_NAMES = [t for t, _ in TLDS]
TLD_CUM = []
_total = 0
for _t, _w in TLDS:
    _total += _w
    TLD_CUM.append(_total)

ALNUM = "abcdefghijklmnopqrstuvwxyz0123456789"
COMMENT_TAGS = ("ads", "tracker", "malware", "phishing", "telemetry", "crypto", "spam",
                "adult", "gambling", "fakenews", "scam", "cdn")
OTHER_ADDRESSES = ("10.0.0.1", "192.168.1.1", "192.168.0.10", "172.16.0.5", "::1", "::",
                   "fe80::1", "2001:db8::10", "0:0:0:0:0:0:0:0", "255.255.255.255")


class NameMaker:
    """Draws realistic host names and remembers them so that later lines can repeat one."""

    def __init__(self, rng):
        self.rng = rng
        self.made = []

    def _brand(self):
        r = self.rng
        word = "".join(r.choice(SYLLABLES) for _ in range(r.randint(2, 4)))
        roll = r.random()
        if roll < 0.25:
            word = r.choice(WORDS) + ("-" if r.random() < 0.4 else "") + word
        elif roll < 0.40:
            word = word + ("-" if r.random() < 0.3 else "") + r.choice(WORDS)
        if r.random() < 0.08:
            word += str(r.randint(1, 999))
        return word

    def _label(self):
        r = self.rng
        roll = r.random()
        if roll < 0.70:
            label = r.choice(WORDS)
        elif roll < 0.85:
            label = r.choice(WORDS) + str(r.randint(1, 99))
        elif roll < 0.95:
            label = r.choice(("eu", "us", "de", "fr", "asia", "s", "c", "m", "x", "p")) + \
                str(r.randint(1, 20))
        else:
            label = "".join(r.choice(ALNUM) for _ in range(r.randint(6, 16)))
        return label

    def _punycode(self):
        r = self.rng
        return "xn--" + "".join(r.choice(ALNUM) for _ in range(r.randint(4, 12)))

    def fresh(self):
        r = self.rng
        second = self._punycode() if r.random() < 0.015 else self._brand()
        tld = TLD_NAMES[_bisect(TLD_CUM, r.random() * _total)]
        roll = r.random()
        depth = 0 if roll < 0.35 else 1 if roll < 0.78 else 2 if roll < 0.95 else 3
        labels = [self._label() for _ in range(depth)]
        labels.append(second)
        labels.append(tld)
        name = ".".join(labels)
        self.made.append(name)
        return name

    def next(self, repeat_share):
        """A new name, or with the given probability one already given out."""
        if self.made and self.rng.random() < repeat_share:
            return self.made[self.rng.randrange(len(self.made))]
        return self.fresh()


def _bisect(cum, x):
    lo, hi = 0, len(cum)
    while lo < hi:
        mid = (lo + hi) // 2
        if cum[mid] <= x:
            lo = mid + 1
        else:
            hi = mid
    return lo


def mixed_case(rng, name):
    roll = rng.random()
    if roll < 0.3:
        return name.upper()
    if roll < 0.6:
        return ".".join(p[:1].upper() + p[1:] for p in name.split("."))
    return "".join(c.upper() if rng.random() < 0.3 else c for c in name)


def comment_text(rng):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 5)))


def hosts_lines(seed, count):
    rng = random.Random(f"{seed}/hosts")
    names = NameMaker(rng)
    head = [
        "# Title: Quorvale benchmark blocklist",
        f"# Generated by bench/gen_data.py, seed {seed}",
        "# Entries: about %d" % count,
        "#",
        "# This file blocks advertising, tracking and malware hosts.",
        "",
        "127.0.0.1 localhost",
        "127.0.0.1\tlocalhost.localdomain",
        "127.0.0.1 local",
        "255.255.255.255 broadcasthost",
        "::1 localhost",
        "::1 ip6-localhost ip6-loopback",
        "fe80::1%lo0 localhost",
        "0.0.0.0 0.0.0.0",
        "",
        "# Start of the blocked hosts",
    ]
    out = head[:count]
    while len(out) < count:
        roll = rng.random()
        if roll < 0.0006:
            out.append("")
            out.append("# ---- %s (%d) ----" % (rng.choice(WORDS), rng.randint(10, 90000)))
            continue
        if roll < 0.010:
            out.append("# " + comment_text(rng))
            continue
        if roll < 0.013:
            out.append("")
            continue
        name = names.next(0.10)
        if rng.random() < 0.05:
            name = "www." + name
        if rng.random() < 0.03:
            name = mixed_case(rng, name)
        roll = rng.random()
        if roll < 0.010:
            address = rng.choice(OTHER_ADDRESSES)
            sep = " " if rng.random() < 0.6 else "\t"
        elif roll < 0.62:
            address = "0.0.0.0"
            sep = " " if rng.random() < 0.97 else "\t"
        else:
            address = "127.0.0.1"
            sep = "\t" if rng.random() < 0.9 else " "
        if rng.random() < 0.02:
            sep = sep * rng.randint(2, 4)
        line = address + sep + name
        roll = rng.random()
        if roll < 0.03:
            line += " # " + comment_text(rng)
        elif roll < 0.035:
            line += "\t#" + rng.choice(COMMENT_TAGS)
        out.append(line)
    return out[:count]


def domain_list_lines(seed, count):
    rng = random.Random(f"{seed}/domains")
    names = NameMaker(rng)
    head = [
        "# Title: Quorvale benchmark domain list",
        f"# Generated by bench/gen_data.py, seed {seed}",
        "# One domain per line",
        "",
    ]
    out = head[:count]
    while len(out) < count:
        roll = rng.random()
        if roll < 0.008:
            out.append("# " + comment_text(rng))
            continue
        if roll < 0.011:
            out.append("")
            continue
        name = names.next(0.10)
        if rng.random() < 0.05:
            name = "www." + name
        if rng.random() < 0.005:
            name = "http://" + name
        if rng.random() < 0.03:
            name = mixed_case(rng, name)
        if rng.random() < 0.02:
            name += " # " + comment_text(rng)
        out.append(name)
    return out[:count]


def domain_only_lines(seed, count):
    rng = random.Random(f"{seed}/domain-only")
    names = NameMaker(rng)
    head = [
        "# Title: Quorvale benchmark domain-only list",
        f"# Generated by bench/gen_data.py, seed {seed}",
        "",
    ]
    out = head[:count]
    while len(out) < count:
        roll = rng.random()
        if roll < 0.008:
            out.append("# " + comment_text(rng))
            continue
        if roll < 0.010:
            out.append("")
            continue
        name = names.next(0.10)
        if rng.random() < 0.05:
            name = "www." + name
        if rng.random() < 0.03:
            name = mixed_case(rng, name)
        roll = rng.random()
        if roll < 0.20:
            line = "127.0.0.1 " + name
        elif roll < 0.23:
            line = "0.0.0.0\t" + name
        elif roll < 0.24:
            line = "127.0.0.1\t" + name
        else:
            line = name
        if rng.random() < 0.05:
            line += " #[" + rng.choice(COMMENT_TAGS) + "]"
        out.append(line)
    return out[:count]


def write_lines(path, lines):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="ascii", newline="\n") as f:
        step = 65536
        for i in range(0, len(lines), step):
            chunk = lines[i:i + step]
            f.write("\n".join(chunk))
            f.write("\n")
    os.replace(tmp, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", required=True, help="folder to write the files into")
    parser.add_argument("--seed", type=int, default=7, help="random seed (default 7)")
    parser.add_argument("--lines", type=int, default=1_000_000,
                        help="lines per file (default 1000000)")
    args = parser.parse_args(argv)
    if args.lines < 1:
        parser.error("--lines must be at least 1")
    os.makedirs(args.out, exist_ok=True)
    for file_name, make in (("hosts.txt", hosts_lines),
                            ("domains.txt", domain_list_lines),
                            ("domain-only.txt", domain_only_lines)):
        write_lines(os.path.join(args.out, file_name), make(args.seed, args.lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
