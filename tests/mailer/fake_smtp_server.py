"""A scripted SMTP server for what a real one will not do on demand.

usage: fake_smtp_server.py PORT MODE LOGFILE
Every line received (commands and message text) is appended to LOGFILE.
MODE: reject-rcpt      550 to every RCPT
      multiline        a multi-line greeting, and a multi-line 250 to EHLO split across sends
      helo-only        500 to EHLO (a server that knows only HELO)
      close-in-data    closes the connection while the message text arrives
      silent           accepts connections and never answers
"""
import os
import socket
import sys
import time

port, mode, logfile = int(sys.argv[1]), sys.argv[2], sys.argv[3]


def log(line):
    with open(logfile, "ab") as f:
        f.write(line + b"\n")


def serve(conn):
    reader = conn.makefile("rb")
    if mode == "silent":
        time.sleep(3600)
        return
    if mode == "multiline":
        conn.sendall(b"220-fake.test first greeting line\r\n220-second line\r\n220 ready\r\n")
    else:
        conn.sendall(b"220 fake.test ready\r\n")
    in_data = False
    while True:
        line = reader.readline()
        if not line:
            return
        log(line.rstrip(b"\r\n"))
        if in_data:
            if mode == "close-in-data":
                conn.close()
                return
            if line == b".\r\n":
                in_data = False
                conn.sendall(b"250 queued\r\n")
            continue
        word = line[:4].upper()
        if word == b"EHLO" and mode == "helo-only":
            conn.sendall(b"500 command not recognized\r\n")
        elif word in (b"HELO", b"EHLO"):
            if mode == "multiline":
                conn.sendall(b"250-fake.test hello\r\n250-SIZE 1000")
                time.sleep(0.2)
                conn.sendall(b"000\r\n250 HELP\r\n")
            else:
                conn.sendall(b"250 fake.test\r\n")
        elif word == b"RCPT" and mode == "reject-rcpt":
            conn.sendall(b"550 no such user\r\n")
        elif word == b"DATA":
            in_data = True
            conn.sendall(b"354 go ahead\r\n")
        elif word == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            conn.close()
            return
        else:
            conn.sendall(b"250 ok\r\n")


listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(8)
# Listening: the test may go on (and nothing else is ever written to the output).
os.write(1, b"ready\n")
os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
while True:
    connection, _ = listener.accept()
    try:
        serve(connection)
    except OSError:
        pass
    finally:
        connection.close()
