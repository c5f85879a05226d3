#!/usr/bin/env python3
"""Checks a mail the editor composed or sent, with Python's own MIME parser.

usage: check_message.py MESSAGE FILE...

The HTML part holds the text, and so does the plain-text alternative; every
FILE is one part with its exact bytes; every other part is one of them; every cid: URL of the HTML names a part.
Prints the HTML on success; exits 1 naming the first mismatch.
"""
import email
import email.policy
import re
import sys
import urllib.parse


def main():
    message = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
    expected = {open(path, "rb").read(): path for path in sys.argv[2:]}
    html, text, ids, found = None, None, set(), set()
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_content_type() == "text/html" and html is None:
            html = part.get_content()
            continue
        if part.get_content_type() == "text/plain" and part.get_param("format") == "flowed":
            text = part.get_content()
            continue
        data = part.get_payload(decode=True)
        if data not in expected:
            sys.exit("a part (%s) is none of the files" % part.get_content_type())
        found.add(expected[data])
        ids.add(part["Content-ID"].strip().strip("<>"))
    if html is None:
        sys.exit("no HTML part")
    if text is None or not text.strip() or re.search(r"<[a-z]", text):
        sys.exit("no plain text, or markup in it: %r" % text)
    missing = set(expected.values()) - found
    if missing:
        sys.exit("no part for " + ", ".join(sorted(missing)))
    for cid in re.findall(r"cid:([^\"'\s>)]+)", html):
        if urllib.parse.unquote(cid) not in ids:
            sys.exit("cid:%s names no part" % cid)
    sys.stdout.write(html)


if __name__ == "__main__":
    main()
