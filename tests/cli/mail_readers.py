#!/usr/bin/env python3
"""Real mail readers on what `corabind compose` and `corabind send` write.

usage: mail_readers.py CORABIND WORK_FOLDER

Writes a Korean mail folder (text outside EUC-KR, a Korean-named and a
blank-named image, CSS url() in a linked sheet, an @imported sheet and a style
attribute, a Flash movie with <param>, a remote image), composes it, and
checks it with Python's email package (policy.default), with headless
Chromium (as .mhtml: every image's colour and the Korean text must show) and
through a real aiosmtpd server. Prints "ok" or the first failure.
"""
import email
import email.policy
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.parse
import zlib

import smtp_sink
from checks import expect, run_checks

KOREAN = "똠방각하 햏 안녕"
# file -> colour; every image is one solid, distinct colour
IMAGES = {"img/사진.png": (255, 0, 0), "img/blank name.png": (0, 160, 0),
          "img/linked bg.png": (0, 0, 255), "img/inline.png": (255, 200, 0),
          "img/imported.png": (200, 0, 200)}
TEXT_COLOUR = (0, 200, 200)


def png(rgb, size=4):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(rgb) * size for _ in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def pixels(path):
    """The set of RGB colours of an 8-bit, non-interlaced RGB or RGBA PNG."""
    data = open(path, "rb").read()
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            expect(depth == 8 and colour in (2, 6), "unexpected screenshot format")
            step = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, seen = zlib.decompress(idat), width * step, {}
    prior = bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b, c = prior[i], prior[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        for x in range(0, stride, step):
            rgb = tuple(line[x:x + 3])
            seen[rgb] = seen.get(rgb, 0) + 1
        prior = line
    return seen


def write_fixture(folder):
    for name, rgb in IMAGES.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        open(os.path.join(folder, name), "wb").write(png(rgb))
    os.makedirs(os.path.join(folder, "css"))
    open(os.path.join(folder, "css/main.css"), "w").write(
        '@import "more.css";\n/* url(not-a-file.png) */\n'
        '.linked { background: url("../img/linked bg.png"); width: 120px; height: 60px; }\n')
    open(os.path.join(folder, "css/more.css"), "w").write(
        ".imported { background-image: url(../img/imported.png); width: 120px; height: 60px; }\n")
    # larger than the chunks a file is read and written in
    open(os.path.join(folder, "movie.swf"), "wb").write(b"FWS\x09" + os.urandom(300 * 1024))
    open(os.path.join(folder, "mail.html"), "w", encoding="utf-8").write(
        '<!DOCTYPE html>\n<html><head><meta charset="ks_c_5601-1987">\n'
        '<link rel="stylesheet" href="css/main.css"></head>\n'
        '<body style="margin:0">\n'
        '<p style="color: rgb%s; font-size: 40px">%s</p>\n'
        '<img src="img/사진.png" width="120" height="60"><img src="img/blank name.png" width="120" height="60">\n'
        '<div class="linked"></div><div class="imported"></div>\n'
        "<div style=\"background: url('img/inline.png'); width: 120px; height: 60px\"></div>\n"
        '<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" movie="movie.swf" width="1" height="1">'
        '<param name="movie" value="movie.swf"></object>\n'
        '<img src="https://mail.example.invalid/remote.png" width="1" height="1">\n'
        "</body></html>\n" % (str(TEXT_COLOUR).replace(" ", ""), KOREAN))


def related_of(message):
    """The multipart/related part: the message itself, or inside
    multipart/alternative after the text, itself perhaps inside multipart/mixed."""
    part = message
    if part.get_content_type() == "multipart/mixed":
        part = next(part.iter_parts())
    if part.get_content_type() == "multipart/alternative":
        first, part = list(part.iter_parts())
        expect(first.get_content_type() == "text/plain" and first.get_param("format") == "flowed",
               "the first alternative is not flowed plain text")
    return part


def check_message(raw, folder, expect_parts=8, structure="multipart/alternative"):
    """The checks every standard message must pass; returns the message."""
    expect(all(b < 128 for b in raw), "a byte outside ASCII")
    lines = raw.split(b"\r\n")
    expect(lines[-1] == b"" and all(b"\n" not in l and b"\r" not in l for l in lines), "a bare line end")
    expect(max(len(l) for l in lines) <= 78, "a line longer than 78 octets")
    message = email.message_from_bytes(raw, policy=email.policy.default)
    expect(message.get_content_type() == structure, "not " + structure)
    for header in ("From", "To", "Subject", "Date", "Message-ID", "MIME-Version"):
        expect(message[header] is not None, "no " + header)
    expect(message["Bcc"] is None, "a Bcc header")
    for part in message.walk():
        expect(not part.defects, "defects: %r" % part.defects)
        if part.is_multipart():
            # the header's parameter, each delimiter and the close
            expect(raw.count(part.get_boundary().encode()) == len(list(part.iter_parts())) + 2,
                   "the boundary occurs in a part")
    related = related_of(message)
    expect(related.get_content_type() == "multipart/related" and
           related.get_param("type") == "text/html", "not multipart/related; type=text/html")
    parts = list(related.iter_parts())
    root, resources = parts[0], parts[1:]
    expect(root.get_content_type() == "text/html" and root.get_content_charset() == "utf-8",
           "the root is not UTF-8 HTML")
    html = root.get_content()
    ids = {}
    for part in resources:
        cid = part["Content-ID"].strip("<>")
        expect(re.fullmatch(r"[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9.-]+", cid), "bad Content-ID " + cid)
        expect(cid not in ids, "Content-ID twice: " + cid)
        expect(part.get_content_disposition() == "inline", "not inline: " + cid)
        ids[cid] = part
    expect(len(resources) == expect_parts, "%d parts" % len(resources))
    texts = [html] + [p.get_content() for p in resources if p.get_content_type() == "text/css"]
    used = set()
    for text in texts:
        for url in re.findall(r"cid:([^\"')\s>]+)", text):
            cid = urllib.parse.unquote(url)
            expect(cid in ids, "cid:%s names no part" % url)
            used.add(cid)
    expect(used == set(ids), "a part nobody refers to")
    by_name = {os.path.basename(n): n for n in list(IMAGES) + ["movie.swf", "css/main.css", "css/more.css"]}
    for part in resources:
        name = part.get_filename()
        expect(name in by_name, "unexpected file name %r" % name)
        if part.get_content_type() == "text/css":
            continue  # its url()s now name parts
        expected = open(os.path.join(folder, by_name[name]), "rb").read()
        expect(part.get_payload(decode=True) == expected, name + " differs from its file")
    css = [p for p in resources if p.get_content_type() == "text/css"]
    expect(len(css) == 2, "the two style sheets are not text/css")
    expect(KOREAN in html and "ks_c_5601" not in html and 'charset="utf-8"' in html,
           "the HTML's text or charset declaration is wrong")
    expect('value="cid:' in html and "https://mail.example.invalid/remote.png" in html,
           "the movie parameter or the remote image is wrong")
    return message


def related_alone(raw):
    """The multipart/related part of a message, as its bytes stand, made a
    document of its own: what a browser shows as MHTML (given the whole
    message it shows the first alternative, the plain text)."""
    at = raw.index(b"Content-Type: multipart/related")
    boundary = re.search(rb'boundary="([^"]+)"', raw[at:]).group(1)
    close = b"--" + boundary + b"--\r\n"
    end = raw.index(close, at) + len(close)
    return b"MIME-Version: 1.0\r\n" + raw[at:end]


def chromium_shows(eml, work):
    browser = shutil.which("chromium")
    if browser is None:
        return "skip: chromium"
    mhtml = os.path.join(work, "mail.mhtml")
    open(mhtml, "wb").write(related_alone(open(eml, "rb").read()))
    profile = tempfile.mkdtemp(dir=work)
    base = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--hide-scrollbars", "--user-data-dir=" + profile, "--window-size=800,600"]
    shot = os.path.join(work, "shot.png")
    subprocess.run(base + ["--screenshot=" + shot, "file://" + mhtml], capture_output=True, timeout=120)
    expect(os.path.exists(shot), "chromium took no screenshot")
    seen = pixels(shot)
    for name, rgb in IMAGES.items():
        expect(seen.get(rgb, 0) >= 1000, "%s (colour %r) does not show" % (name, rgb))
    expect(seen.get(TEXT_COLOUR, 0) >= 200, "the text does not show")
    dom = subprocess.run(base + ["--dump-dom", "file://" + mhtml], capture_output=True,
                         timeout=120).stdout.decode("utf-8", "replace")
    expect(KOREAN in dom, "the Korean text is not what the browser read")
    return "ok"


def smtp_delivers(corabind, folder, work):
    try:
        import aiosmtpd  # noqa: F401
    except ImportError:
        return "skip: aiosmtpd"
    inbox = os.path.join(work, "inbox")
    with smtp_sink.running(inbox) as port:
        url = "smtp://127.0.0.1:%d" % port
        common = [corabind, "send", "--smtp", url, "--from", "김철수 <kim@example.com>",
                  "--subject", "봄 소식 spring"]
        run = subprocess.run(common + [os.path.join(folder, "mail.html"), "--to", "lee@example.org",
                                       "--cc", "Park <park@example.net>", "--bcc", "Secret <choi@example.com>",
                                       "--bcc", "jung@example.com"], capture_output=True)
        expect(run.returncode == 0, "send failed: %s" % run.stderr.decode())
        received = __import__("json").load(open(os.path.join(inbox, "0.json")))
        expect(received["from"] == "kim@example.com" and
               received["to"] == ["lee@example.org", "park@example.net", "choi@example.com",
                                  "jung@example.com"], "envelope %r" % received)
        # Looked for in every header, not the whole text: the base64 of the
        # images may hold any four letters.
        headers = [str(v) for part in email.message_from_string(received["data"], policy=email.policy.default).walk()
                   for v in part.values()]
        expect(not any(name in value for value in headers for name in ("choi", "jung", "Secret")),
               "a blind copy shows in the message")
        message = check_message(received["data"].encode(), folder)
        expect(str(message["Subject"]) == "봄 소식 spring" and "김철수" in str(message["From"]) and
               "park@example.net" in str(message["Cc"]), "headers")

        eml = os.path.join(work, "again.eml")
        open(eml, "wb").write(received["data"].encode())
        run = subprocess.run(common + ["--eml", eml, "--to", "lee@example.org"], capture_output=True)
        expect(run.returncode == 0, "send --eml failed: %s" % run.stderr.decode())
        again = __import__("json").load(open(os.path.join(inbox, "1.json")))
        expect(again["data"] == received["data"], "--eml did not send the file as it is")

        refused = subprocess.run(common + ["--eml", eml, "--to", "nobody@example.com"], capture_output=True)
        expect(refused.returncode != 0 and b"550" in refused.stderr and b"no such user" in refused.stderr,
               "a refused recipient: %r" % refused.stderr)
        nobody = subprocess.run([corabind, "send", "--smtp", "smtp://127.0.0.1:%d" % smtp_sink.free_port(), "--eml",
                                 eml, "--from", "kim@example.com", "--to", "lee@example.org"],
                                capture_output=True)
        expect(nobody.returncode != 0 and b"onnect" in nobody.stderr and b"accepted" not in nobody.stderr,
               "nobody listening: %r" % nobody.stderr)
        expect(len(os.listdir(inbox)) == 2, "a refused send reached the inbox")
    return "ok"


def check_structures(corabind, folder, work):
    """Each other structure compose writes, read by Python without a defect."""
    report = os.path.join(work, "보고서 2026.pdf")
    open(report, "wb").write(b"%PDF-1.4\n" + os.urandom(100 * 1024) + b"\n%%EOF\n")
    given = os.path.join(work, "given.txt")
    open(given, "w", encoding="utf-8").write("Hello,\n" + "word " * 40 + "\n>not a quote\n")
    mail = os.path.join(folder, "mail.html")
    common = [corabind, "compose", mail, "--from", "kim@example.com", "--to", "lee@example.org", "--subject", "s"]
    cases = [
        (["--no-text"], "multipart/related"),
        (["--attach", report, "--reply-to", "Desk <desk@example.com>",
          "--list-unsubscribe", "mailto:leave@example.com", "--list-unsubscribe", "https://example.com/u?a=1"],
         "multipart/mixed"),
        (["--attach", report, "--no-text"], "multipart/mixed"),
        (["--text", given, "--bcc", "hidden@example.net"], "multipart/alternative"),
    ]
    for args, structure in cases:
        eml = os.path.join(work, "structure.eml")
        run = subprocess.run(common + args + ["-o", eml], capture_output=True)
        expect(run.returncode == 0, "compose %s failed: %s" % (args, run.stderr.decode()))
        raw = open(eml, "rb").read()
        message = check_message(raw, folder, structure=structure)
        if "--attach" in args:
            attached = [p for p in message.iter_attachments() if p.get_content_disposition() == "attachment"]
            expect(len(attached) == 1 and attached[0].get_filename() == "보고서 2026.pdf" and
                   attached[0].get_content_type() == "application/pdf" and
                   attached[0].get_payload(decode=True) == open(report, "rb").read(), "the attachment")
        if "--list-unsubscribe" in args:
            expect(str(message["List-Unsubscribe"]).replace(" ", "") ==
                   "<mailto:leave@example.com>,<https://example.com/u?a=1>" and
                   str(message["List-Unsubscribe-Post"]) == "List-Unsubscribe=One-Click" and
                   "desk@example.com" in str(message["Reply-To"]), "the list headers")
        if "--text" in args:
            text = message.get_body(("plain",)).get_content()
            expect("\n >not a quote" in text and b"hidden" not in raw, "the given text: %r" % text)
    bad = subprocess.run(common + ["--list-unsubscribe", "http://example.com/u"], capture_output=True)
    expect(bad.returncode == 2 and b"mailto: or https:" in bad.stderr, "an http: unsubscribe URL")


def check_references(corabind, work):
    """References written as browsers write them (percent-escapes, file:
    URLs, data: URLs in img and CSS) become parts Python reads without a
    defect, each named by the cid: URLs that replaced them."""
    import base64
    folder = os.path.join(work, "refs")
    os.makedirs(folder)
    photo = png((10, 20, 30))
    open(os.path.join(folder, "my photo.png"), "wb").write(photo)
    open(os.path.join(folder, "사진.png"), "wb").write(png((40, 50, 60)))
    # larger than GMime's chunks, so its lines must be cut as a file's are
    big = png((70, 80, 90), size=300) + os.urandom(100 * 1024)
    data = "data:image/png;base64," + base64.b64encode(big).decode()
    small = "data:image/png;base64," + base64.b64encode(png((1, 2, 3))).decode()
    page = os.path.join(folder, "page.html")
    open(page, "w", encoding="utf-8").write(
        '<html><head><style>.a { background: url("%s") }</style></head><body>'
        '<img src="my%%20photo.png"><img src="%%EC%%82%%AC%%EC%%A7%%84.png">'
        '<img src="file://%s/my%%20photo.png"><img src="%s"><img src="%s">'
        '<div class="a" style="background:url(&quot;%s&quot;)">x</div></body></html>'
        % (small, urllib.parse.quote(folder), data, data, small))
    for keep, parts in ((False, 4), (True, 2)):
        eml = os.path.join(work, "refs.eml")
        run = subprocess.run([corabind, "compose", page, "-o", eml, "--from", "kim@example.com",
                              "--to", "lee@example.org"] + (["--keep-data-uris"] if keep else []),
                             capture_output=True)
        expect(run.returncode == 0, "compose of references failed: %s" % run.stderr.decode())
        raw = open(eml, "rb").read()
        expect(max(len(l) for l in raw.split(b"\r\n")) <= 78, "a line longer than 78 octets")
        message = email.message_from_bytes(raw, policy=email.policy.default)
        for part in message.walk():
            expect(not part.defects, "defects: %r" % part.defects)
        resources = list(related_of(message).iter_parts())
        html = resources.pop(0).get_content()
        ids = {p["Content-ID"].strip("<>"): p for p in resources}
        expect(len(ids) == parts, "%d parts for the references" % len(ids))
        cids = {urllib.parse.unquote(c) for c in re.findall(r"cid:([^\"')&\s>]+)", html)}
        expect(cids == set(ids), "the cid: URLs and the parts differ")
        contents = sorted(p.get_payload(decode=True) for p in ids.values())
        expected = [photo, png((40, 50, 60))] + ([] if keep else [big, png((1, 2, 3))])
        expect(contents == sorted(expected), "a part's bytes differ from what it stands for")
        expect(("data:" in html) == keep, "data: URLs left in the HTML, or not kept")
    bad = os.path.join(folder, "bad.html")
    open(bad, "w").write('<img src="data:image/png;base64,iVBOR!">')
    run = subprocess.run([corabind, "compose", bad, "-o", os.path.join(work, "bad.eml")], capture_output=True)
    expect(run.returncode == 1 and b"data:image/png;base64,iVBOR!: a data: URL that cannot be decoded"
           in run.stderr and not os.path.exists(os.path.join(work, "bad.eml")),
           "a malformed data: URL: %s" % run.stderr.decode())


def main():
    corabind, work = sys.argv[1], sys.argv[2]
    folder = os.path.join(work, "mail")
    write_fixture(folder)
    eml = os.path.join(work, "mail.eml")
    run = subprocess.run([corabind, "compose", os.path.join(folder, "mail.html"), "-o", eml,
                          "--from", "김철수 <kim@example.com>", "--to", "이영희 <lee@example.org>",
                          "--subject", "봄 소식: 똠 햏"], capture_output=True)
    expect(run.returncode == 0, "compose failed: %s" % run.stderr.decode())
    message = check_message(open(eml, "rb").read(), folder)
    expect(str(message["Subject"]) == "봄 소식: 똠 햏", "the Subject")
    text = message.get_body(("plain",)).get_content()
    expect(KOREAN in text and "<" not in text and "{" not in text, "the plain text: %r" % text)
    check_structures(corabind, folder, work)
    check_references(corabind, work)
    print("email: ok")
    print("chromium: " + chromium_shows(eml, work))
    print("smtp: " + smtp_delivers(corabind, folder, work))


if __name__ == "__main__":
    run_checks(main)
