#!/usr/bin/env python3
"""Writes the mailbox fixtures of the reader tests into the folders beside
this script, from the layouts drawn at the top of each reader's source file.
Run it again after changing a fixture here; the files are committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.dirname(HERE)


def write(folder, name, data):
    os.makedirs(os.path.join(DATA, folder), exist_ok=True)
    with open(os.path.join(DATA, folder, name), "wb") as f:
        f.write(data)


def crlf(text):
    return text.replace("\n", "\r\n").encode("latin-1")


def msg(sender, to, date, subject, body, extra=""):
    return (f"{extra}From: {sender}\nTo: {to}\nDate: {date}\nSubject: {subject}\n\n{body}")


M1 = msg("Ann Alder <ann@example.com>", "Owner <owner@example.com>", "Mon, 05 Jan 1998 10:00:00 +0000",
         "First message", "Hello owner.\nSent From my phone\nA word From here stays too.\n")
M2 = msg("Owner <owner@example.com>", "Bob Birch <bob@example.com>", "Tue, 06 Jan 1998 11:30:00 +0000",
         "Second message", "Reply text.\n> quoted From line\n")
M3 = msg("Carl Cedar <carl@example.com>", "Owner <owner@example.com>", "Wed, 07 Jan 1998 12:45:00 +0000",
         "Third message", "Last one.\n")

# "From " mailbox -----------------------------------------------------------
sep = "From {} Mon Jan  5 10:00:00 1998\n"
mbox = ("\n\n" + sep.format("ann@example.com") + M1 + "\n" + sep.format("owner@example.com") + M2 + "\n" +
        sep.format("carl@example.com") + M3)
write("mbox", "from-inside-line-stays-in-body.mbox", mbox.encode("latin-1"))
write("mbox", "from-inside-line-stays-in-body-crlf.mbox", crlf(mbox))
long_line = "x" * 1000
write("mbox", "long-line-split-not-cut.mbox",
      (sep.format("ann@example.com") + msg("ann@example.com", "owner@example.com",
                                           "Mon, 05 Jan 1998 10:00:00 +0000", "Long", long_line + "\nend\n")).encode())

# Eudora ------------------------------------------------------------------
eud_sep = "From ???@??? Mon Jan 05 10:00:00 1998\n"
parts = [eud_sep + M1, eud_sep + M2.replace("Date: Tue, 06 Jan 1998 11:30:00 +0000\n", ""), eud_sep + M3]
mbx = b""
offsets = []
for p in parts:
    offsets.append(len(mbx))
    mbx += crlf(p)


def toc(listed):
    head = bytearray(104)
    head[0x66:0x68] = struct.pack("<H", len(listed))
    body = b""
    for off in listed:
        rec = bytearray(218)
        rec[0:4] = struct.pack("<i", off)
        body += bytes(rec)
    return bytes(head) + body


write("eudora", "eudora-toc-lists-two-of-three.mbx", mbx)
write("eudora", "eudora-toc-lists-two-of-three.toc", toc([offsets[0], offsets[2]]))
write("eudora", "eudora-no-toc-every-separator.mbx", mbx)

# Netscape ----------------------------------------------------------------
ns = ""
for m in (M1, M2):
    ns += ("From - Mon Jan 05 10:00:00 1998\nX-Mozilla-Status: 0001\nX-Mozilla-Status2: 00000000\n"
           "Return-Path: <x@example.com>\n" + m)
write("netscape", "netscape-status-lines-before-headers.snm", ns.encode("latin-1"))

# Outlook Express 4 / IE marker mailbox ------------------------------------
oe4 = b"JMF6" + struct.pack("<II", 0x00010003, 2) + bytes(0x54 - 12)
for i, m in enumerate((M1, M2, M3)):
    data = crlf(m)
    oe4 += struct.pack("<IIII", 0x7F007F00, i + 1, len(data) + 16, len(data)) + data
write("oe4", "oe4-three-messages-after-marks.mbx", oe4)

# Outlook Express 5 block-chain store --------------------------------------
def dbx():
    buf = bytearray(0x1000)   # file header and room for the tree
    buf[0:16] = bytes([0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0])

    def chain(data, gap=0):
        pieces = [data[i:i + 512] for i in range(0, len(data), 512)]
        starts = []
        pos = len(buf) + gap
        for p in pieces:
            starts.append(pos)
            pos += 16 + 512 + gap
        out = []
        for i, p in enumerate(pieces):
            nxt = starts[i + 1] if i + 1 < len(pieces) else 0
            head = struct.pack("<IIII", starts[i], 512, len(p), nxt)
            out.append((starts[i], head + p + bytes(512 - len(p))))
        return out

    def put(blocks):
        for off, b in blocks:
            if len(buf) < off:
                buf.extend(bytes(off - len(buf)))
            buf[off:off + len(b)] = b

    # 1: a long message over three blocks, its header block split across them.
    long_headers = "".join(f"Received: from relay{i}.example.com by mx.example.com\n" for i in range(12))
    put(chain(crlf(long_headers + M1 + "more body\n" * 20)))
    # 2: a multipart message whose text part follows an attachment.
    mp = ("From: Dora Dale <dora@example.com>\nTo: owner@example.com\nDate: Thu, 08 Jan 1998 09:00:00 +0000\n"
          "Subject: Multipart\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"BND\"\n\n"
          "preamble\n--BND\nContent-Type: application/octet-stream\n\nAAAA\n--BND\n"
          "Content-Type: text/plain\n\nThe text part.\n--BND--\n")
    put(chain(crlf(mp)))
    # 3: a deleted fragment: its own offset, but a block size of 0x1FC.
    off = len(buf)
    frag = crlf(M3)[:400]
    put([(off, struct.pack("<IIII", off, 0x1FC, 0x210, 0) + frag + bytes(512 - len(frag)))])
    # 4: a block that is no message start: its data is no header.
    off = len(buf)
    put([(off, struct.pack("<IIII", off, 512, 10, 0) + b"plain text" + bytes(502))])
    # 5: a message with too few of From, Date, To, Subject.
    put(chain(crlf("From: x@example.com\nX-Note: y\n\nno date, no to, no subject\n")))
    # 6: a short message.
    put(chain(crlf(M2)))
    return bytes(buf)


write("oe5", "oe5-chained-multipart-deleted-fragment.dbx", dbx())

# Pegasus -----------------------------------------------------------------
head = b"Inbox" + bytes(86 - 5) + b"6047572E:6F49:FOL01355" + bytes(42 - 22)
peg = head + crlf(M1) + b"\x1a" + crlf(M2) + b"\r\n\x1a" + crlf(M3) + b"\x1a"
write("pegasus", "pegasus-folder-header-three-messages.pmm", peg)

# Header-block mailbox ----------------------------------------------------
noto = "Note: a block without a To line\nFrom: somebody@example.com\nDate: Mon, 05 Jan 1998 10:00:00 +0000\n\n"
hb = M1 + "\n" + noto + "still the first message\n\n" + M2 + "\n" + M3
write("generic1", "generic1-lf-only.txt", hb.encode("latin-1"))
write("generic1", "generic1-crlf.txt", crlf(hb))
prose = ("From: the desk of Ann\nDate: today\nTo: everyone\nthis line is no header, so no message starts\n\n")
write("becky", "becky-prose-block-is-body.bmf", crlf(M1 + "\n" + prose + M2))

# The Bat -----------------------------------------------------------------
tbb = struct.pack("<IH", 427361824, 3084) + bytes(3084 - 6)
for m in (M1, M2, M3):
    data = crlf(m)
    h = bytearray(48)
    h[0:4] = struct.pack("<I", 426772769)
    h[4:6] = struct.pack("<H", 48)
    h[36:40] = struct.pack("<I", len(data))
    tbb += bytes(h) + data
write("thebat", "thebat-three-messages.tbb", tbb)
# The last message claims more data than the file holds.
write("thebat", "thebat-last-length-past-end.tbb", tbb[:-5])

# AOL ---------------------------------------------------------------------
def field(tag, text):
    t = text.encode("latin-1")
    return bytes([tag, 0, 5, len(t), 0, 0, 0]) + t


def aol_record(date, sender, to, subject, body):
    head = bytearray(b"AOLH" + bytes(12))
    head[8], head[10], head[13], head[15] = 1, 2, 2, 2
    rec = bytes(head) + field(5, date) + field(6, sender) + field(7, to) + field(8, "") + field(9, "")
    rec += b"\r" + field(10, subject) + field(11, "") + bytes(10) + field(16, "") + field(17, "")
    b = body.encode("latin-1")
    half = len(b) // 2
    blocks = b"AOLFAOLH" + struct.pack("<I", half) + b[:half] + b"AOLFAOLH" + struct.pack("<I", len(b) - half) + b[half:]
    return rec + b"\x00\x00junk" + blocks


aol = b"AOLFAOLH-file-head" + bytes(20)
aol += aol_record("01/15/98 13:05:00", "AnnScreen", "OwnerName", "AOL first",
                  "Hello&nbsp;there<BR>second line\r\nthird &lt;line&gt;\x7ffourth")
aol += aol_record("15.01.1998", "BobScreen", "OwnerName", "AOL second", "Just one line")
bad = bytearray(aol_record("01/16/98", "Eve", "OwnerName", "Broken", "never staged"))
bad[16] = 99  # the date field's tag is wrong: the record is not staged
aol += bytes(bad)
write("aol", "aol-two-records-and-a-broken-one.aol", aol)
