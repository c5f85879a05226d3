#!/bin/sh
# Composes one mail of 200 images of 256 KiB with `corabind compose` and
# builds the same multipart/related message with Python's email package;
# prints the wall time of each (best of three).
# usage: bench/compose_vs_python.sh path/to/corabind
set -eu
cli=${1:?usage: compose_vs_python.sh path/to/corabind}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
os.makedirs(os.path.join(work, "img"))
html = ["<html><body>"]
for i in range(200):
    with open(os.path.join(work, "img", "p%03d.bin" % i), "wb") as f:
        f.write(os.urandom(256 * 1024))
    html.append('<img src="img/p%03d.bin">' % i)
html.append("</body></html>")
with open(os.path.join(work, "mail.html"), "w") as f:
    f.write("\n".join(html))
PY
cat >"$work/build.py" <<'PY'
import os, re, sys
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.mime.application import MIMEApplication
from email import policy
work = sys.argv[1]
html = open(os.path.join(work, "mail.html")).read()
refs = list(dict.fromkeys(re.findall(r'src="([^"]+)"', html)))
for r in refs:
    html = html.replace('src="%s"' % r, 'src="cid:%s"' % r)
msg = MIMEMultipart("related")
msg.attach(MIMEText(html, "html", "utf-8"))
for r in refs:
    part = MIMEApplication(open(os.path.join(work, r), "rb").read(), name=os.path.basename(r))
    part["Content-ID"] = "<%s>" % r
    msg.attach(part)
with open(os.path.join(work, "python.eml"), "wb") as f:
    f.write(msg.as_bytes(policy=policy.SMTP))
PY
best() {
  b=
  for _ in 1 2 3; do
    s=$(date +%s.%N)
    "$@" >/dev/null
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
c=$(best "$cli" compose "$work/mail.html" -o "$work/corabind.eml")
p=$(best python3 "$work/build.py" "$work")
size=$(wc -c <"$work/corabind.eml")
echo "message: $size bytes, 200 parts of 256 KiB"
echo "corabind compose: ${c}s"
echo "python email:     ${p}s"
echo "speed-up: $(echo "scale=1; $p / $c" | bc)x"
