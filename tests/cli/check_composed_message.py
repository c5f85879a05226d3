#!/usr/bin/env python3
"""Checks a message written by `corabind compose` with Python's own MIME parser.

usage: check_composed_message.py MESSAGE MAIL_FOLDER [CHARSET]

Every line ends in CR LF; the root part is the HTML; every resource part's
decoded bytes equal the file its Content-ID names (relative to MAIL_FOLDER);
every cid: URL in the HTML names a part. Prints what it checked; exits 1 on
the first mismatch.
"""
import email
import os
import re
import sys
import urllib.parse


def fail(text):
    print("FAIL: " + text)
    sys.exit(1)


def main():
    message_path, folder = sys.argv[1], sys.argv[2]
    charset = sys.argv[3] if len(sys.argv) > 3 else "cp949"
    raw = open(message_path, "rb").read()
    if not raw.endswith(b"\r\n"):
        fail("the message does not end with CR LF")
    for number, line in enumerate(raw.split(b"\n")[:-1], 1):
        if not line.endswith(b"\r") or b"\r" in line[:-1]:
            fail("line %d does not end with CR LF alone" % number)

    message = email.message_from_bytes(raw)
    if message.get_content_type() != "multipart/related":
        fail("content type " + message.get_content_type())
    parts = message.get_payload()
    html_part, resources = parts[0], parts[1:]
    if html_part.get_content_type() != "text/html":
        fail("the root part is " + html_part.get_content_type())
    html = html_part.get_payload(decode=True).decode(charset)

    ids = set()
    for part in resources:
        if part["Content-Transfer-Encoding"] != "base64":
            fail("a part is not base64")
        key = part["Content-ID"].strip()
        if not (key.startswith("<") and key.endswith(">")):
            fail("Content-ID " + key)
        key = key[1:-1]
        if key in ids:
            fail("two parts for " + key)
        ids.add(key)
        path = os.path.join(folder, *key.split("/"))
        expected = open(path, "rb").read()
        if part.get_payload(decode=True) != expected:
            fail("part %s differs from %s" % (key, path))
        if part.get_param("name") != os.path.basename(path):
            fail("part %s is named %r" % (key, part.get_param("name")))

    cids = [urllib.parse.unquote(c) for c in re.findall(r"cid:([^\"'\s>]+)", html)]
    for cid in cids:
        if cid not in ids:
            fail("cid:%s has no part" % cid)
    print("ok: %d parts, %d cid: references" % (len(resources), len(cids)))


if __name__ == "__main__":
    main()
