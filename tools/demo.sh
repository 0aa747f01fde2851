#!/usr/bin/env bash
# Builds a fresh demo installation under ./demo and runs Quillmer's main job
# on it: CompuServe forum captures, a Unix mailbox and a news spool are
# imported into their archive databases (one per forum, one for the mailbox
# owner, one per newsgroup), the mail database is indexed and searched, and
# the archive is checked and shown.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/quillmer-cli
home=demo
rm -rf "$home"
mkdir -p "$home/incoming"
q() { "$cli" --home "$home" "$@"; }
# Import runs print every message they stage; the demo shows their last line.
imp() { q import "$@" 2>&1 | grep -v -E '^(Pre-import|Importing|Counting|Building)' | tail -n 3; }

# A small mailbox as a mail program of today writes it: UTF-8 subjects in
# encoded words, a quoted-printable body, a multipart message with an
# attachment, and a reply that threads to the first message.
cat > "$home/incoming/anna.mbox" <<'EOF'
From bob@example.com Mon Mar  3 09:15:00 2003
From: Bob Miller <bob@example.com>
To: Anna Lee <anna@example.com>
Subject: =?utf-8?Q?Caf=C3=A9_plans_for_Friday?=
Date: Mon, 03 Mar 2003 09:15:00 +0100
Message-ID: <plans-1@example.com>
MIME-Version: 1.0
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: quoted-printable

Hi Anna,

shall we meet at the caf=C3=A9 on Friday? The roses in the garden are =
finally out, I can bring a few.

Bob

From anna@example.com Mon Mar  3 12:40:00 2003
From: Anna Lee <anna@example.com>
To: Bob Miller <bob@example.com>
Subject: Re: =?utf-8?Q?Caf=C3=A9_plans_for_Friday?=
Date: Mon, 03 Mar 2003 12:40:00 +0100
Message-ID: <plans-2@example.com>
In-Reply-To: <plans-1@example.com>
References: <plans-1@example.com>
Content-Type: text/plain; charset=us-ascii

Friday works. Bring the roses!

Anna

From carla@example.org Tue Mar  4 18:05:00 2003
From: Carla Diaz <carla@example.org>
To: anna@example.com
Subject: Photos from the garden club
Date: Tue, 04 Mar 2003 18:05:00 +0000
Message-ID: <club-7@example.org>
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="sep-42"

This is a multi-part message in MIME format.

--sep-42
Content-Type: text/plain; charset=iso-8859-1
Content-Transfer-Encoding: 8bit

Dear Anna, here is the photo of the roses from Saturday.
--sep-42
Content-Type: image/jpeg; name="roses.jpg"
Content-Transfer-Encoding: base64

/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRof
--sep-42--
EOF

q init
q db add-mail "Anna Lee" anna@example.com
echo
echo "== Importing forum captures (OzWin I): one database per forum"
imp --type "OzWin I" --recursive tests/data/ozwin1/three-forums
echo
echo "== Importing Anna's mailbox (Generic Mail Type 2)"
imp --type "Generic Mail Type 2" --mailbox "Anna Lee" "$home/incoming/anna.mbox"
echo
echo "== Importing a news spool (Gravity): one database per newsgroup"
imp --type "Gravity" tests/data/news/gravity-two-articles-crlf.txt
echo
echo "== Catalogue"
q db list
echo
echo "== Mail of Anna Lee, newest first"
q messages "Anna Lee"
echo
echo "== Indexing Anna's mail and searching for: roses friday"
q index "Anna Lee" --full 2>/dev/null
q search "Anna Lee" roses friday || true
echo
echo "== Checking the archive"
q verify
