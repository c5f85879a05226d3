"""An aiosmtpd handler for the send tests: keeps each accepted message as JSON
in a folder and refuses any recipient named nobody@..."""
import contextlib
import json
import os
import socket
import subprocess
import sys
import time


class Sink:
    def __init__(self, folder):
        self.folder = folder

    @classmethod
    def from_cli(cls, parser, folder):
        return cls(folder)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("nobody@"):
            return "550 5.1.1 <%s>: no such user here" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        number = len(os.listdir(self.folder))
        with open(os.path.join(self.folder, "%d.json" % number), "w") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                       "data": envelope.original_content.decode("ascii")}, f)
        return "250 Message accepted for delivery"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def running(inbox):
    """aiosmtpd with a Sink keeping messages in `inbox`, on a free loopback
    port, for the length of a with block; yields the port."""
    os.makedirs(inbox, exist_ok=True)
    port = free_port()
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.abspath(__file__)))
    server = subprocess.Popen([sys.executable, "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:%d" % port,
                               "-c", "smtp_sink.Sink", inbox], env=env)
    try:
        for _ in range(200):  # until it listens
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        yield port
    finally:
        server.terminate()
        server.wait()
