#!/usr/bin/env python3
"""DKIM signatures of `corabind compose` and `corabind send`, checked by an
independent verifier (the dkim package) with the public key handed to it in
place of DNS.

usage: dkim_check.py CORABIND WORK_FOLDER

Makes an RSA key with openssl, composes a mail (with an image larger than the
pieces it is written in, so the body is hashed across many) to a file, to
standard output and through automate's compose request, sends it to an aiosmtpd server, and sends a file composed
before with --eml; each must verify, and no longer once one byte of its body
is changed. Prints "ok" per check, "skip: ..." for a missing tool, or the
first failure.
"""
import base64
import json
import os
import subprocess
import sys

import smtp_sink
from checks import expect, run_checks

FROM = "Kim <kim@mail.example.com>"


def make_key(work):
    key = os.path.join(work, "news.key")
    subprocess.run(["openssl", "genrsa", "-out", key, "2048"], check=True, capture_output=True)
    os.chmod(key, 0o600)
    der = subprocess.run(["openssl", "rsa", "-in", key, "-pubout", "-outform", "DER"], check=True,
                         capture_output=True).stdout
    return key, base64.b64encode(der).decode()


def verifies(message, public, domain="mail.example.com", selector="news2026"):
    import dkim

    def dns(name, timeout=5):
        expect(name == ("%s._domainkey.%s." % (selector, domain)).encode(), "looked up %r" % name)
        return ("v=DKIM1; k=rsa; p=" + public).encode()

    return dkim.verify(message, dnsfunc=dns)


def first_field(message):
    """The first header field, unfolded."""
    end = 0
    while True:
        end = message.index(b"\r\n", end)
        if message[end + 2:end + 3] not in (b" ", b"\t"):
            return message[:end].replace(b"\r\n", b"")
        end += 2


def check_signed(message, public, what):
    expect(message.startswith(b"DKIM-Signature: "), what + ": the signature does not come first")
    signature = first_field(message)
    head = message[:message.index(b"\r\n\r\n")].split(b"\r\n")
    expect(max(len(line) for line in head) <= 78 and b"\n" not in b"".join(head),
           what + ": a header line longer than 78 octets or a bare line end")
    tags = {}
    for tag in signature[len(b"DKIM-Signature:"):].split(b";"):
        if b"=" in tag:
            name, value = tag.split(b"=", 1)
            tags[name.strip()] = b"".join(value.split())
    for name, value in ((b"a", b"rsa-sha256"), (b"c", b"relaxed/relaxed"),
                        (b"d", b"mail.example.com"), (b"s", b"news2026")):
        expect(tags.get(name) == value, what + ": %s=%r" % (name.decode(), tags.get(name)))
    names = [n.lower() for n in tags[b"h"].split(b":")]
    for name in (b"from", b"to", b"cc", b"subject", b"date", b"message-id", b"mime-version",
                 b"content-type"):
        expect(name in names, what + ": %s is not signed" % name.decode())
    expect(verifies(message, public), what + ": the signature does not verify")
    # One byte of the body changed (a letter of the text, then one of the
    # image's base64) breaks it.
    text = message.index(b"<p>Spring") + 3
    expect(not verifies(message[:text] + b"s" + message[text + 1:], public),
           what + ": a changed letter of the text still verifies")
    image = message.index(b"\r\n\r\n", message.index(b"name=photo.png")) + 4 + 500 * 1024
    flipped = b"B" if message[image:image + 1] != b"B" else b"C"
    expect(not verifies(message[:image] + flipped + message[image + 1:], public),
           what + ": a changed byte of the image still verifies")


def check_automate(corabind, mail, key, public, work):
    """automate's compose request, keyed by the long option names, signs as
    compose does; Python's reader finds no defect, the attachment whole and
    no trace of the blind copy."""
    import email
    import email.policy
    notes = os.path.join(work, "notes.txt")
    open(notes, "w").write("Spring notes\n")
    request = {"op": "compose", "id": 1, "html": open(mail).read(), "folder": os.path.dirname(mail),
               "from": FROM, "to": ["Lee <lee@example.org>"], "cc": "park@example.net",
               "bcc": ["hidden@example.net"], "subject": "Spring", "attach": [notes],
               "dkim-key": key, "dkim-selector": "news2026"}
    run = subprocess.run([corabind, "automate"], input=json.dumps(request).encode() + b"\n",
                         capture_output=True, check=True)
    answer = json.loads(run.stdout)
    expect(answer["ok"] and answer["attachments"] == 1, "automate compose: %r" % answer.get("error"))
    message = answer["message"].encode()
    expect(answer["bytes"] == len(message), "automate compose: the size told is not the message's")
    check_signed(message, public, "automate compose")
    parsed = email.message_from_bytes(message, policy=email.policy.default)
    defects = [d for part in parsed.walk() for d in part.defects]
    expect(not defects and b"hidden@" not in message, "automate compose: %r" % defects)
    expect([a.get_content() for a in parsed.iter_attachments()] == ["Spring notes\n"],
           "automate compose: the attachment was not kept whole")


def check_send(corabind, mail, key, public, work):
    try:
        import aiosmtpd  # noqa: F401
    except ImportError:
        return "skip: aiosmtpd"
    inbox = os.path.join(work, "inbox")
    with smtp_sink.running(inbox) as port:
        common = [corabind, "send", "--smtp", "smtp://127.0.0.1:%d" % port, "--from", FROM,
                  "--to", "lee@example.org", "--cc", "park@example.net", "--subject", "Spring",
                  "--dkim-key", key,
                  "--dkim-selector", "news2026"]
        run = subprocess.run(common + [mail], capture_output=True)
        expect(run.returncode == 0, "send failed: %s" % run.stderr.decode())
        received = json.load(open(os.path.join(inbox, "0.json")))["data"].encode()
        check_signed(received, public, "send")

        # A message composed before is signed as it stands.
        eml = os.path.join(work, "unsigned.eml")
        run = subprocess.run([corabind, "compose", mail, "-o", eml, "--from", FROM,
                              "--to", "lee@example.org", "--cc", "park@example.net",
                              "--subject", "Spring"],
                             capture_output=True)
        expect(run.returncode == 0, "compose failed: %s" % run.stderr.decode())
        run = subprocess.run(common + ["--eml", eml], capture_output=True)
        expect(run.returncode == 0, "send --eml failed: %s" % run.stderr.decode())
        again = json.load(open(os.path.join(inbox, "1.json")))["data"].encode()
        expect(again.endswith(open(eml, "rb").read()), "send --eml changed the message")
        check_signed(again, public, "send --eml")
    return "ok"


def main():
    corabind, work = sys.argv[1], sys.argv[2]
    try:
        import dkim  # noqa: F401
    except ImportError:
        print("skip: dkim")
        return
    key, public = make_key(work)
    folder = os.path.join(work, "mail")
    os.makedirs(folder)
    open(os.path.join(folder, "photo.png"), "wb").write(b"\x89PNG\r\n\x1a\n" + os.urandom(700 * 1024))
    mail = os.path.join(folder, "news.html")
    open(mail, "w").write("<html><body>\n<p>Spring  news \t \n</p>\n<img src=\"photo.png\">\n</body></html>\n")
    args = [mail, "--from", FROM, "--to", "Lee <lee@example.org>", "--cc", "park@example.net",
            "--subject", "Spring", "--dkim-key", key, "--dkim-selector", "news2026"]
    eml = os.path.join(work, "news.eml")
    run = subprocess.run([corabind, "compose", "-o", eml] + args, capture_output=True)
    expect(run.returncode == 0 and b"warning" not in run.stderr, "compose failed: %s" % run.stderr.decode())
    check_signed(open(eml, "rb").read(), public, "compose -o")
    print("compose: ok")
    run = subprocess.run([corabind, "compose"] + args, capture_output=True)
    expect(run.returncode == 0, "compose to standard output failed: %s" % run.stderr.decode())
    check_signed(run.stdout, public, "compose to standard output")
    # The domain may be given; the key is then looked up under it.
    run = subprocess.run([corabind, "compose"] + args + ["--dkim-domain", "Example.COM"], capture_output=True)
    expect(run.returncode == 0 and verifies(run.stdout, public, domain="example.com"),
           "--dkim-domain: %s" % run.stderr.decode())
    print("stdout: ok")
    check_automate(corabind, mail, key, public, work)
    print("automate: ok")
    print("send: " + check_send(corabind, mail, key, public, work))


if __name__ == "__main__":
    run_checks(main)
