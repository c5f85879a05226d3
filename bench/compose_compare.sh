#!/bin/sh
# `corabind compose` against Python's email package and Perl's MIME::Lite::HTML
# (reading local files through file: URLs, no network) on two mails, side by
# side in one run, timed by bench/paired_runs.py (median wall and CPU seconds,
# peak memory, and the ratio of each pair):
#   big:  200 images of 256 KiB (a 72 MB message)
#   page: a 10 MB page with 10,000 references to 10,000 small images
# and the big one signed with DKIM and not, against `cat | base64 -w76 > file`.
# The unsigned pair is also corabind's default against that floor: the plain
# text alternative is made unless --no-text is given, so it is in both.
# usage: bench/compose_compare.sh path/to/corabind [RUNS]
set -eu
cli=$(realpath "${1:?usage: compose_compare.sh path/to/corabind [RUNS]}")
runs=${2:-5}
harness=$(dirname "$0")/paired_runs.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
os.makedirs(os.path.join(work, "big/img"))
html = ["<html><body>"]
for i in range(200):
    with open(os.path.join(work, "big/img/p%03d.bin" % i), "wb") as f:
        f.write(os.urandom(256 * 1024))
    html.append('<img src="img/p%03d.bin">' % i)
html.append("</body></html>")
open(os.path.join(work, "big/mail.html"), "w").write("\n".join(html))
os.makedirs(os.path.join(work, "page/img"))
gif = bytes.fromhex("47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b")
parts = ["<html><body>"]
filler = "<p>Mail text, line after line, with <b>bold</b> words &amp; entities.</p>\n" * 12
for i in range(10000):
    with open(os.path.join(work, "page/img/p%05d.gif" % i), "wb") as f:
        f.write(gif + i.to_bytes(4, "big"))
    parts.append('<img src="img/p%05d.gif" alt="%d">\n' % (i, i) + filler)
parts.append("</body></html>")
open(os.path.join(work, "page/mail.html"), "w").write("".join(parts))
PY
# The same message with Python: every src becomes a cid: part.
cat >"$work/build.py" <<'PY'
import os, re, sys
from email import policy
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
folder, out = sys.argv[1], sys.argv[2]
html = open(os.path.join(folder, "mail.html"), encoding="utf-8").read()
refs = list(dict.fromkeys(re.findall(r'src="([^"]+)"', html)))
cid = {r: "part%d@bench" % n for n, r in enumerate(refs)}
html = re.sub(r'src="([^"]+)"', lambda m: 'src="cid:%s"' % cid[m.group(1)], html)
msg = MIMEMultipart("related", type="text/html")
msg["From"], msg["To"], msg["Subject"] = "a@example.com", "b@example.com", "bench"
msg.attach(MIMEText(html, "html", "utf-8"))
for r in refs:
    part = MIMEApplication(open(os.path.join(folder, r), "rb").read(), name=os.path.basename(r))
    part["Content-ID"] = "<%s>" % cid[r]
    part["Content-Disposition"] = "inline"
    msg.attach(part)
with open(out, "wb") as f:
    f.write(msg.as_bytes(policy=policy.SMTP))
PY
cat >"$work/lite.pl" <<'PL'
use strict; use warnings;
use MIME::Lite::HTML;
my ($html, $out) = @ARGV;
my $mail = MIME::Lite::HTML->new(From => 'a@example.com', To => 'b@example.com',
  Subject => 'bench', IncludeType => 'cid', HTMLCharset => 'utf-8');
my $msg = $mail->parse('file://' . $html);
open(my $fh, '>', $out) or die "$out: $!";
$msg->print($fh);
close($fh) or die "$out: $!";
PL
for mail in big page; do
  folder="$work/$mail"
  echo "== $mail: $(wc -c <"$folder/mail.html") bytes of HTML"
  corabind="$cli compose $folder/mail.html -o $work/corabind.eml --from a@example.com --to b@example.com"
  echo "-- corabind (A) vs Python email (B)"
  python3 "$harness" -n "$runs" --timeout 900 --vs "python3 $work/build.py $folder $work/python.eml" -- $corabind
  echo "-- corabind (A) vs MIME::Lite::HTML (B)"
  python3 "$harness" -n "$runs" --timeout 900 --vs "perl $work/lite.pl $folder/mail.html $work/lite.eml" -- $corabind
  echo "messages: corabind $(wc -c <"$work/corabind.eml"), python $(wc -c <"$work/python.eml"), MIME::Lite::HTML $(wc -c <"$work/lite.eml") bytes"
done
# Signing: the big mail with a DKIM signature (a key made here), and without,
# against the floor of writing its files' base64 to the same disk.
openssl genrsa -out "$work/dkim.key" 2048 2>/dev/null
big="$work/big"
floor="sh -c 'cat $big/img/* | base64 -w76 > $work/floor.txt'"
plain="$cli compose $big/mail.html -o $work/corabind.eml --from a@example.com --to b@example.com"
echo "== big, signed with DKIM"
echo "-- corabind --dkim-key (A) vs cat | base64 -w76 > file (B)"
python3 "$harness" -n "$runs" --timeout 900 --vs "$floor" -- $plain --dkim-key "$work/dkim.key" --dkim-selector bench
echo "-- corabind, not signed (A) vs cat | base64 -w76 > file (B)"
python3 "$harness" -n "$runs" --timeout 900 --vs "$floor" -- $plain
