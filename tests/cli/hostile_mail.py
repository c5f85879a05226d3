"""What compose and send make of hostile names and of the servers they talk
to, checked by real readers: Python's email package reads the message, real
aiosmtpd servers (STARTTLS with a certificate made by openssl for this run,
with and without SMTPUTF8) receive it.
  hostile_mail.py CORABIND WORK
Prints one "NAME: ok" line per check (or "NAME: skip: why"), or a FAIL line."""
import email
import email.policy
import logging
import os
import socket
import ssl
import subprocess
import sys

import smtp_sink
from checks import expect, run_checks


def run(args, env=None):
    done = subprocess.run(args, capture_output=True, env=env)
    return done.returncode, done.stderr.decode("utf-8", "replace")


GIF = b"GIF89a\x01\x00\x01\x00\x00\x00\x00;"
KOREAN_NAME = "가나다라마바사아자차카타파하" * 4 + ".gif"
INJECTED_NAME = "x\r\nX-Injected: 1.gif"


def file_names(corabind, work):
    """No file name writes a header line, and long names read back whole."""
    folder = os.path.join(work, "names")
    os.makedirs(folder)
    for name in (KOREAN_NAME, INJECTED_NAME, "plain.gif"):
        open(os.path.join(folder, name), "wb").write(GIF)
    html = ('<p>names</p><img src="x&#13;&#10;X-Injected: 1.gif"><img src="%s"><img src="plain.gif">'
            % KOREAN_NAME)
    open(os.path.join(folder, "mail.html"), "w", encoding="utf-8").write(html)
    out = os.path.join(work, "names.eml")
    status, err = run([corabind, "compose", os.path.join(folder, "mail.html"), "-o", out])
    expect(status == 0, "compose failed: %s" % err)
    raw = open(out, "rb").read()
    expect(b"\nX-Injected" not in raw, "a file name wrote a header line")
    message = email.message_from_bytes(raw, policy=email.policy.default)
    defects = list(message.defects)
    names = []
    for part in message.walk():
        defects += part.defects
        for _, value in part.items():
            defects += value.defects
        if part.get_filename():
            names.append(part.get_filename())
        expect("X-Injected" not in part, "a part has an X-Injected header")
    expect(not defects, "Python's email reports %r" % defects)
    expect(sorted(names) == sorted([KOREAN_NAME, INJECTED_NAME, "plain.gif"]), "names %r" % names)
    expect(b'name="plain.gif"' in raw or b"name=plain.gif" in raw, "a plain name is encoded")
    return "ok"


class Inbox:
    def __init__(self):
        self.messages = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
        return "250 OK"


def server(**parameters):
    from aiosmtpd.controller import Controller
    logging.getLogger("mail.log").disabled = True  # a refused handshake is expected here
    inbox = Inbox()
    controller = Controller(inbox, hostname="127.0.0.1", port=smtp_sink.free_port(), **parameters)
    controller.start()
    return controller, inbox


def tls_and_envelopes(corabind, work):
    try:
        import aiosmtpd  # noqa: F401
    except ImportError:
        return "skip: aiosmtpd"
    folder = os.path.join(work, "send")
    os.makedirs(folder)
    html = os.path.join(folder, "mail.html")
    open(html, "w").write("<p>hello</p>")
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                           "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                           "-keyout", key, "-out", cert], capture_output=True)
    expect(made.returncode == 0, "openssl: %s" % made.stderr.decode())
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    env = {k: v for k, v in os.environ.items() if k not in ("SSL_CERT_FILE", "CURL_CA_BUNDLE")}
    common = [html, "--from", "kim@example.com", "--subject", "hi"]

    controller, inbox = server(tls_context=context, require_starttls=True)
    try:
        url = "smtp://127.0.0.1:%d" % controller.port
        send = [corabind, "send", "--smtp", url, "--tls", "required"] + common
        status, err = run(send + ["--to", "lee@example.org"], env)
        expect(status == 1 and "self-signed certificate" in err and "220" not in err,
               "an untrusted certificate: %d %r" % (status, err))
        expect(not inbox.messages, "sent over an untrusted certificate")
        status, err = run(send + ["--to", "lee@example.org", "--cacert", cert], env)
        expect(status == 0, "--cacert: %r" % err)
        status, err = run(send + ["--to", "park@example.org"], dict(env, SSL_CERT_FILE=cert))
        expect(status == 0, "SSL_CERT_FILE: %r" % err)
        status, err = run(send + ["--to", "choi@bücher.example"], dict(env, CURL_CA_BUNDLE=cert))
        expect(status == 0, "CURL_CA_BUNDLE: %r" % err)
        expect([m[1] for m in inbox.messages] ==
               [["lee@example.org"], ["park@example.org"], ["choi@xn--bcher-kva.example"]],
               "envelopes %r" % [m[1] for m in inbox.messages])
        expect(b"To: choi@xn--bcher-kva.example" in inbox.messages[2][2], "the To header's domain")
    finally:
        controller.stop()

    # A local part that is not ASCII: only to a server that offers SMTPUTF8.
    for offered in (False, True):
        controller, inbox = server(enable_SMTPUTF8=offered)
        try:
            url = "smtp://127.0.0.1:%d" % controller.port
            status, err = run([corabind, "send", "--smtp", url, "--to", "김@example.com"] + common, env)
            if offered:
                expect(status == 0 and "SMTPUTF8" in err, "SMTPUTF8 offered: %r" % err)
                expect(inbox.messages and inbox.messages[0][1] == ["김@example.com"],
                       "the UTF-8 envelope %r" % inbox.messages)
            else:
                expect(status == 1 and "김@example.com" in err and "SMTPUTF8" in err,
                       "SMTPUTF8 not offered: %d %r" % (status, err))
                expect(not inbox.messages, "sent to a server without SMTPUTF8")
        finally:
            controller.stop()

    # "This machine" is where the name leads: this host's own name, when
    # it resolves to loopback addresses only, may go without STARTTLS.
    name = socket.gethostname()
    try:
        addresses = {a[4][0] for a in socket.getaddrinfo(name, None, type=socket.SOCK_STREAM)}
    except OSError:
        addresses = set()
    here = addresses and all(a.startswith("127.") or a == "::1" for a in addresses)
    if here and name != "localhost" and not name.startswith("127."):
        controller, inbox = server()
        try:
            url = "smtp://%s:%d" % (name, controller.port)
            status, err = run([corabind, "send", "--smtp", url, "--to", "lee@example.org"] + common, env)
            expect(status == 0 and len(inbox.messages) == 1, "to %s (loopback): %r" % (name, err))
        finally:
            controller.stop()
    return "ok"


def main():
    corabind, work = sys.argv[1], sys.argv[2]
    print("file names: " + file_names(corabind, work))
    print("tls and envelopes: " + tls_and_envelopes(corabind, work))


if __name__ == "__main__":
    run_checks(main)
