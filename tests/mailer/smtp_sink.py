"""A real SMTP server (aiosmtpd) that keeps every message it receives.

usage: smtp_sink.py PORT DIR
Message n is written as DIR/n.eml (the bytes after DATA, dots un-stuffed) and
DIR/n.env (the sender on the first line, then one recipient a line), each file
appearing complete (written under another name, then renamed).
"""
import asyncio
import os
import sys

from aiosmtpd.controller import Controller

port, directory = int(sys.argv[1]), sys.argv[2]
count = 0


def put(name, data):
    path = os.path.join(directory, name)
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.rename(path + ".part", path)


class Keeper:
    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        put("%d.env" % count, ("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n").encode())
        put("%d.eml" % count, envelope.original_content)
        return "250 Message accepted for delivery"


controller = Controller(Keeper(), hostname="127.0.0.1", port=port)
controller.start()
# Listening: the test may go on (and nothing else is ever written to the output).
os.write(1, b"ready\n")
os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
try:
    asyncio.run(asyncio.Event().wait())
finally:
    controller.stop()
