#!/usr/bin/env python3
"""A stand-in for the Arduino core's espota.py, written from our protocol notes:
the same command line, texts and timings (10 invitations of -t seconds, a
1024-byte chunk answered before the next, 10 s per chunk), for benchmarks and
for running the updater's end-to-end tests with a classic uploader. Unlike the
original it also finds an "OK" split over two reads or behind a pile of counts.
python3 standard library only."""
import argparse
import hashlib
import os
import random
import socket
import sys
import time

CHUNK = 1024
TRIES = 10
CHUNK_TIMEOUT = 10
RESULT_READS = 5
RESULT_TIMEOUT = 60


def log(level, text):
    sys.stderr.write("%s [%s]: %s\n" % (time.strftime("%H:%M:%S"), level, text))
    sys.stderr.flush()


def out(text):
    sys.stderr.write(text)
    sys.stderr.flush()


def hexdigest(name, text):
    return hashlib.new(name, text.encode()).hexdigest()


def invite(args, message):
    out("Sending invitation to %s " % args.ip)
    for attempt in range(TRIES):
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            udp.sendto(message.encode(), (args.ip, args.port))
        except OSError:
            out("failed\n")
            log("ERROR", "Host %s Not Found" % args.ip)
            return None, None
        udp.settimeout(args.timeout)
        try:
            answer = udp.recv(69).decode(errors="replace")
            out("\n")
            return udp, answer
        except OSError:
            out(".")
            udp.close()
    out("\n")
    log("ERROR", "No response from the ESP")
    return None, None


def login(args, udp, answer, cnonce_text, md5_secret):
    nonce = answer.split(" ", 1)[1].strip() if " " in answer else ""
    if len(nonce) == 32:
        out("Authenticating (MD5 protocol)...")
        cnonce = hexdigest("md5", cnonce_text)
        secret = hexdigest("md5", args.auth)
        response = hexdigest("md5", "%s:%s:%s" % (secret, nonce, cnonce))
    elif len(nonce) == 64:
        out("Authenticating (SHA256 protocol with MD5 password)..." if md5_secret else "Authenticating...")
        cnonce = hexdigest("sha256", cnonce_text)
        secret = hexdigest("md5" if md5_secret else "sha256", args.auth)
        key = hashlib.pbkdf2_hmac("sha256", secret.encode(), ("%s:%s" % (nonce, cnonce)).encode(), 10000, 32).hex()
        response = hexdigest("sha256", "%s:%s:%s" % (key, nonce, cnonce))
    else:
        log("ERROR", "Invalid nonce length: %d (expected 32 or 64)" % len(nonce))
        return "error"
    udp.sendto(("200 %s %s\n" % (cnonce, response)).encode(), (args.ip, args.port))
    udp.settimeout(args.timeout)
    try:
        reply = udp.recv(32).decode(errors="replace")
    except OSError:
        return "no answer"
    return "ok" if reply == "OK" else "refused"


def main():
    parser = argparse.ArgumentParser(prog="espota")
    parser.add_argument("-i", "--ip", default="")
    parser.add_argument("-I", "--host_ip", default="0.0.0.0")
    parser.add_argument("-p", "--port", type=int, default=3232)
    parser.add_argument("-P", "--host_port", type=int, default=random.randint(10000, 60000))
    parser.add_argument("-a", "--auth", default="")
    parser.add_argument("-f", "--file", default="")
    parser.add_argument("-s", "--spiffs", action="store_true")
    parser.add_argument("-r", "--progress", action="store_true")
    parser.add_argument("-d", "--debug", action="store_true")
    parser.add_argument("-t", "--timeout", type=float, default=10)
    parser.add_argument("-m", "--md5-target", action="store_true")
    args = parser.parse_args()
    if not args.ip or not args.file:
        log("CRITICAL", "Not enough arguments.")
        return 1
    with open(args.file, "rb") as f:  # a missing file ends in a traceback, as the original's does
        image = f.read()
    md5 = hashlib.md5(image).hexdigest()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        server.bind((args.host_ip, args.host_port))
        server.listen(1)
    except OSError as e:
        log("ERROR", "Listen Failed: %s" % e)
        return 1
    message = "%d %d %d %s\n" % (100 if args.spiffs else 0, args.host_port, len(image), md5)
    udp, answer = invite(args, message)
    if udp is None:
        return 1
    if answer.startswith("AUTH"):
        cnonce_text = args.file + str(len(image)) + md5 + args.ip
        md5_secret = args.md5_target
        while True:
            result = login(args, udp, answer, cnonce_text, md5_secret)
            if result == "ok":
                out("OK\n")
                break
            if result == "error":
                return 1
            if len(answer.split(" ", 1)[-1].strip()) == 64 and not md5_secret:
                md5_secret = True
                out("Retrying with MD5 password...")
                udp, answer = invite(args, message)
                if udp is None:
                    return 1
                if not answer.startswith("AUTH"):
                    break
                continue
            out("FAIL\n")
            log("ERROR", "Authentication Failed" if result == "refused" else "No Answer to our Authentication")
            return 1
    elif answer != "OK":
        log("ERROR", "Bad Answer: %s" % answer)
        return 1

    server.settimeout(10)
    try:
        connection, _ = server.accept()
    except OSError:
        log("ERROR", "No response from device")
        return 1
    connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    out("Uploading")
    offset = 0
    received = b""
    try:
        while offset < len(image):
            connection.settimeout(CHUNK_TIMEOUT)
            chunk = image[offset:offset + CHUNK]
            connection.sendall(chunk)
            offset += len(chunk)
            if args.progress:
                percent = offset * 100 // len(image)
                bar = "=" * (offset * 60 // len(image))
                out("\rUploading: [%-60s] %d%% " % (bar, percent) if percent < 100 else
                    "\rUploading: [%-60s] 100%% Done...\r\n" % bar)
            else:
                out(".")
            received = (received + connection.recv(10))[-12:]
            if b"OK" in received:
                return 0
    except OSError as e:
        log("ERROR", "Error Uploading: %s" % e)
        return 1
    out("\n")
    reads = 0
    while reads < RESULT_READS:
        connection.settimeout(RESULT_TIMEOUT)
        try:
            data = connection.recv(32)
        except OSError as e:
            log("ERROR", "Error receiving result: %s" % e)
            return 1
        received = (received + data)[-34:]
        if b"OK" in received:
            return 0
        if not data:
            break
        if data.strip(b"0123456789"):  # counts still piled up are no result
            reads += 1
    log("ERROR", "Error response from device")
    return 1


if __name__ == "__main__":
    sys.exit(main())
