"""An aiosmtpd handler for the send tests: keeps each accepted message as JSON
in a folder and refuses any recipient named nobody@..."""
import json
import os


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
