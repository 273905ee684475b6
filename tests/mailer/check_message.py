"""Reads a delivered message back with Python's email package, as a mail reader would.

usage: check_message.py FILE
Prints one line per finding; bytes and texts are given in hex so that any content
passes unchanged:
  date <1 when the Date header parses as an RFC 5322 date, else 0>
  message-id <the Message-ID header>
  subject <hex of the decoded Subject, UTF-8>
  body <charset> <transfer encoding> <hex of the decoded text of the first text part>
  attachment <hex of the file name> <transfer encoding> <hex of the decoded bytes>
  defects <number of defects the parser found>
"""
import email
import email.policy
import email.utils
import sys

with open(sys.argv[1], "rb") as f:
    message = email.message_from_bytes(f.read(), policy=email.policy.default)

try:
    ok = email.utils.parsedate_to_datetime(str(message["Date"])) is not None
except (TypeError, ValueError):
    ok = False
print("date", 1 if ok else 0)
print("message-id", message["Message-ID"])
print("subject", str(message["Subject"]).encode("utf-8").hex())
defects = len(message.defects)
body_done = False
for part in message.walk():
    if part.is_multipart():
        continue
    defects += len(part.defects)
    encoding = part.get("Content-Transfer-Encoding", "7bit").lower()
    if part.get_filename() is None and not body_done:
        text = part.get_payload(decode=True).decode(part.get_content_charset() or "us-ascii")
        print("body", part.get_content_charset(), encoding, text.encode("utf-8").hex())
        body_done = True
    elif part.get_filename() is not None:
        print("attachment", part.get_filename().encode("utf-8").hex(), encoding,
              (part.get_payload(decode=True) or b"").hex())
print("defects", defects)
