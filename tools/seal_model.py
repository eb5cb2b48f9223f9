#!/usr/bin/env python3
"""An independent model of a sealed file, written from the format's description
rather than from the tool's code: used to work out the figures the tests expect.

usage: seal_model.py FILE [--as NAME]   prints the checksum and the sealed bytes (hex)
"""
import sys

TABLE = [
    0xC60C, 0x8DC6, 0xD68D, 0x0ED6, 0xE70E, 0x8FE7, 0xF78F, 0x00F7,
    0x0000, 0x8100, 0x1081, 0x0210, 0x2102, 0x8321, 0x3183, 0x0431,
    0x4204, 0x8542, 0x5285, 0x0652, 0x6306, 0x8763, 0x7387, 0x0873,
    0x8408, 0x8984, 0x9489, 0x0A94, 0xA50A, 0x8BA5, 0xB58B, 0xC6B5,
]
MASK = 0x5A3C7E26


def rotl16(x):
    x &= 0xFFFF
    return ((x << 1) | (x >> 15)) & 0xFFFF


def checksum_words(data, count, seed, bounded=True):
    n = count & 0x7FFF if bounded else count
    if n == 0:
        return 1
    d = seed & 0xFFFF
    l = (seed >> 16) & 0xFF
    h = (seed >> 24) & 0xFF
    c = (((h - l) % 256) * 256) + l
    for k in range(n):
        w = data[2 * k] + 256 * data[2 * k + 1]
        if k % 2 == 0:
            d = rotl16((TABLE[d & 31] ^ w) + d)
        else:
            c = rotl16((TABLE[c & 31] ^ w) + c)
    ch, cl = c >> 8, c & 0xFF
    r = (ch << 24) + ((ch ^ cl) << 16) + d
    return r or 1


def decode(raw):
    """Returns (kind, text) as the reader sees the content."""
    if raw.startswith(b"\xef\xbb\xbf"):
        return "utf8bom", raw[3:].decode("utf-8", "replace")
    if raw.startswith(b"\xff\xfe"):
        return "utf16lebom", raw[2:].decode("utf-16-le")
    if raw.startswith(b"\xfe\xff"):
        return "utf16bebom", raw[2:].decode("utf-16-be")
    if b"\0" in raw:
        return "utf16le", raw.decode("utf-16-le")  # the test corpus has no other zero bytes
    try:
        text = raw.decode("utf-8")
        return ("ascii" if text.isascii() else "utf8"), text
    except UnicodeDecodeError:
        return "ansi", raw.decode("cp1252")


def seal(raw, name):
    kind, text = decode(raw)
    out_kind = {"utf8bom": "utf8", "utf16lebom": "utf8", "utf16le": "utf8", "utf8": "utf8"}.get(kind, "ansi")
    if name.lower() == "hostcfg.ini":
        out_kind = "ansi"
    if name.lower() == "hostcfgu.ini":
        out_kind = "utf8"
    codec = "utf-8" if out_kind == "utf8" else "cp1252"
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    lines = [l.rstrip("\r\n") for l in lines]
    stored, running = [], 0
    for line in lines[1:]:
        i = 0
        while i < len(line) and 1 <= ord(line[i]) <= 32:
            i += 1
        rest = line[i:]
        stored.append(rest)
        if rest and rest[0] != ";":
            b = rest.encode(codec, "replace") + b"\0\0"
            # A line whose bytes and terminator outgrow 6914 bytes counts every word.
            fits = len(b) - 1 <= 6914
            running = checksum_words(b, (len(b) - 2 + 1) // 2, running, fits) ^ MASK
    body = "".join(s + "\r\n" for s in stored).encode(codec, "replace")
    return running, ("0x%x\r\n" % running).encode() + body


if __name__ == "__main__":
    path = sys.argv[1]
    name = sys.argv[3] if len(sys.argv) > 3 and sys.argv[2] == "--as" else path.split("/")[-1]
    with open(path, "rb") as f:
        running, sealed = seal(f.read(), name)
    print("0x%x" % running)
    print(sealed.hex())
