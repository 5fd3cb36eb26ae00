#!/usr/bin/python3
"""An FTP server that fails in one chosen way, for testing a client's
time-outs and its handling of broken transfers. Plain sockets, one thread per
client, 127.0.0.1 with a free port.

Usage: misbehaving_server.py MODE
  silent      accepts connections and never greets
  stall       logs in, then stops sending in the middle of a download
  mute        logs in, opens the data connection of a download and sends nothing
  close       logs in, then drops both connections in the middle of a download
  wrong-size  logs in, announces more bytes than it sends, and reports success
  reject      refuses every password
The first line on stdout is the port; the server then runs until killed.
Every file it offers holds PAYLOAD_SIZE bytes.
"""
import socket
import sys
import threading

PAYLOAD_SIZE = 256 * 1024
PARTIAL_SIZE = 64 * 1024
MODES = ("silent", "stall", "mute", "close", "wrong-size", "reject")


def payload():
    return bytes(i % 251 for i in range(PAYLOAD_SIZE))


class Client:
    def __init__(self, mode, conn):
        self.mode = mode
        self.conn = conn
        self.reader = conn.makefile("rb")
        self.passive = None

    def reply(self, text):
        self.conn.sendall((text + "\r\n").encode())

    def hold(self):
        """Keeps the connection open, saying nothing, until the client leaves."""
        try:
            while self.conn.recv(4096):
                pass
        except OSError:
            pass

    def open_passive(self):
        if self.passive is not None:
            self.passive.close()
        self.passive = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.passive.bind(("127.0.0.1", 0))
        self.passive.listen(1)
        return self.passive.getsockname()[1]

    def retrieve(self):
        if self.passive is None:
            self.reply("425 Use PASV or EPSV first.")
            return True
        self.reply("150 Opening BINARY mode data connection.")
        self.passive.settimeout(10)
        data, _ = self.passive.accept()
        self.passive.close()
        self.passive = None
        body = payload()
        if self.mode == "mute":
            self.hold()
            data.close()
            return False
        if self.mode == "stall":
            data.sendall(body[:PARTIAL_SIZE])
            self.hold()
            data.close()
            return False
        if self.mode == "close":
            data.sendall(body[:PARTIAL_SIZE])
            data.close()
            return False
        data.sendall(body)
        data.close()
        self.reply("226 Transfer complete.")
        return True

    def run(self):
        if self.mode == "silent":
            self.hold()
            return
        self.reply("220 Ready.")
        while True:
            line = self.reader.readline()
            if not line:
                return
            verb, _, argument = line.decode("latin-1").strip().partition(" ")
            verb = verb.upper()
            if verb == "USER":
                self.reply("331 Password required.")
            elif verb == "PASS":
                if self.mode == "reject":
                    self.reply("530 Authentication failed.")
                else:
                    self.reply("230 Logged in.")
            elif verb == "PWD":
                self.reply('257 "/" is the current directory.')
            elif verb in ("CWD", "TYPE", "NOOP"):
                self.reply("250 OK." if verb == "CWD" else "200 OK.")
            elif verb == "SIZE":
                size = PAYLOAD_SIZE + (1000 if self.mode == "wrong-size" else 0)
                self.reply("213 %d" % size)
            elif verb == "EPSV":
                self.reply("229 Entering Extended Passive Mode (|||%d|)" % self.open_passive())
            elif verb == "PASV":
                port = self.open_passive()
                self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port // 256, port % 256))
            elif verb == "RETR":
                if not self.retrieve():
                    return
            elif verb == "QUIT":
                self.reply("221 Bye.")
                return
            else:
                self.reply("502 Not implemented.")

    def serve(self):
        try:
            self.run()
        except OSError:
            pass
        finally:
            if self.passive is not None:
                self.passive.close()
            self.conn.close()


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in MODES:
        sys.exit("usage: misbehaving_server.py " + "|".join(MODES))
    mode = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        client = Client(mode, conn)
        threading.Thread(target=client.serve, daemon=True).start()


if __name__ == "__main__":
    main()
