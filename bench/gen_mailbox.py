#!/usr/bin/env python3
"""Writes a "From " mailbox of N realistic mails to stdout: mailing-list
headers, threads (In-Reply-To, References, "Re:" subjects), quoted-printable
and multipart bodies of 1 to 20 KB, about 9 KB a mail on average. The same
seed gives the same mailbox."""
import random
import sys

N = int(sys.argv[1])
SEED = int(sys.argv[2]) if len(sys.argv) > 2 else 1
rnd = random.Random(SEED)
WORDS = ("the of and to in is that for it as was with be by on not he this are or his from at which but have an "
         "they you were her she there been one all we their has would when if so no will can more about mail "
         "list archive message thread reply patch build kernel driver memory import reader window queue").split()
NAMES = ["Ann Alder", "Bob Birch", "Carl Cedar", "Dora Dale", "Eve Elm", "Finn Fir", "Gail Gum", "Hal Hazel",
         "Ida Ivy", "Jon Juniper", "Kim Kauri", "Lou Larch", "Max Maple", "Nia Nutmeg", "Oli Oak", "Pia Pine"]
LISTS = ["dev", "users", "announce", "hardware", "kernel"]
MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
DAYS = "Mon Tue Wed Thu Fri Sat Sun".split()


def sentence():
    w = [rnd.choice(WORDS) for _ in range(rnd.randint(6, 16))]
    return " ".join(w).capitalize() + "."


def paragraph(size):
    out, n = [], 0
    while n < size:
        line = " ".join(sentence() for _ in range(2))[:72]
        if line.startswith("From "):
            line = ">" + line  # the mailbox's own escape
        out.append(line)
        n += len(line) + 1
    return out


def qp(lines):
    out = []
    for l in lines:
        l = l.replace("=", "=3D").replace(" the ", " th=E9 ")
        while len(l) > 75:
            out.append(l[:74] + "=")
            l = l[74:]
        out.append(l)
    return out


w = sys.stdout.write
subjects = []
for i in range(N):
    who = rnd.choice(NAMES)
    addr = who.lower().replace(" ", ".") + "@example.org"
    lst = rnd.choice(LISTS)
    day = 1 + i % 28
    mon = MONTHS[(i // 28) % 12]
    year = 2000 + (i // 336) % 20
    hh, mm, ss = rnd.randint(0, 23), rnd.randint(0, 59), rnd.randint(0, 59)
    dow = DAYS[i % 7]
    reply = subjects and rnd.random() < 0.6
    if reply:
        j = rnd.randrange(max(0, len(subjects) - 200), len(subjects))
        subj, parent = "Re: " + subjects[j][0], subjects[j][1]
    else:
        subj, parent = " ".join(rnd.choice(WORDS) for _ in range(rnd.randint(3, 8))).capitalize(), None
    mid = f"<{i}.{SEED}@mail.example.org>"
    subjects.append((subj.replace("Re: ", ""), mid))
    size = int(min(20000, max(1000, rnd.lognormvariate(8.75, 0.55))))
    w(f"From {addr}  {dow} {mon} {day:2d} {hh:02d}:{mm:02d}:{ss:02d} {year}\n")
    w(f"Return-Path: <{lst}-bounces@lists.example.org>\n")
    for hop in range(3):
        w(f"Received: from relay{hop}.example.net (relay{hop}.example.net [192.0.2.{hop + 1}])\n"
          f"\tby mx.example.org (Postfix) with ESMTP id {i:08X}{hop}\n"
          f"\tfor <{lst}@lists.example.org>; {dow}, {day} {mon} {year} {hh:02d}:{mm:02d}:{ss:02d} +0000\n")
    w(f"From: {who} <{addr}>\nTo: {lst}@lists.example.org\nDate: {dow}, {day} {mon} {year} "
      f"{hh:02d}:{mm:02d}:{ss:02d} +0000\nSubject: [{lst}] {subj}\nMessage-ID: {mid}\n")
    if parent:
        w(f"In-Reply-To: {parent}\nReferences: {parent}\n")
    w(f"List-Id: {lst} list <{lst}.lists.example.org>\nList-Post: <mailto:{lst}@lists.example.org>\n"
      f"List-Unsubscribe: <https://lists.example.org/{lst}>, <mailto:{lst}-request@lists.example.org>\n"
      f"Precedence: list\nMIME-Version: 1.0\n")
    body = paragraph(size)
    if reply:
        body = ["> " + l[:70] for l in paragraph(size // 4)] + [""] + body
    kind = rnd.random()
    if kind < 0.5:
        w("Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 7bit\n\n")
        w("\n".join(body) + "\n")
    elif kind < 0.8:
        w("Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n")
        w("\n".join(qp(body)) + "\n")
    else:
        b = f"=_boundary_{i}"
        w(f"Content-Type: multipart/alternative; boundary=\"{b}\"\n\nThis is a multi-part message.\n\n")
        w(f"--{b}\nContent-Type: text/plain; charset=us-ascii\n\n" + "\n".join(body[: len(body) // 2]) + "\n")
        w(f"--{b}\nContent-Type: text/html; charset=us-ascii\n\n<html><body>\n" +
          "\n".join("<p>" + l + "</p>" for l in body[: len(body) // 2]) + "\n</body></html>\n")
        w(f"--{b}--\n")
    w("\n")
