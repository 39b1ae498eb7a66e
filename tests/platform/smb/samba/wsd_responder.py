#!/usr/bin/python3
"""A WS-Discovery responder that answers as Windows' Function Discovery
Resource Publication does where wsdd answers otherwise: its ProbeMatches
carry XAddrs (with a trailing slash), its MetadataVersion is above 1, its
pub:Computer has the backslash form of Microsoft's documents, and it may
answer over IPv6 only, from its link-local address. It can stand for
several computers at once, and misbehave on purpose, one way a computer.

    wsd_responder.py INTERFACE FAMILY COMPUTER...

FAMILY: 4 (its IPv4 address) or 6 (its IPv6 link-local address only).
COMPUTER: NAME,UUID,MEMBERSHIP,FAULT where MEMBERSHIP is what pub:Computer
says after the name's backslash (Workgroup:WG, Domain:DOM, NotJoined) and
FAULT one of
    none       answers the probe and the Get
    noget      answers the probe, takes the Get's connection and never
               answers it
    malformed  answers the Get with XML that is not well-formed
    huge       answers the Get with a document of 4 MiB
Prints "responder ready" once it listens; runs until it is ended.
"""
import http.server
import ipaddress
import socket
import socketserver
import struct
import sys
import threading
import time
import uuid
import xml.etree.ElementTree as ElementTree

GROUP4, GROUP6, PORT, HTTP_PORT = "239.255.255.250", "ff02::c", 3702, 5357
NS = {
    "soap": "http://www.w3.org/2003/05/soap-envelope",
    "wsa": "http://schemas.xmlsoap.org/ws/2004/08/addressing",
    "wsd": "http://schemas.xmlsoap.org/ws/2005/04/discovery",
}
DISCOVERY = NS["wsd"]


def interface_address(interface, family):
    """The interface's IPv4 address, or its IPv6 link-local one."""
    if family == 4:
        import fcntl
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        packed = fcntl.ioctl(probe.fileno(), 0x8915, struct.pack("256s", interface.encode()[:15]))  # SIOCGIFADDR
        return socket.inet_ntoa(packed[20:24])
    for line in open("/proc/net/if_inet6"):
        fields = line.split()
        if fields[5] == interface and fields[0].startswith("fe80"):
            return str(ipaddress.IPv6Address(bytes.fromhex(fields[0])))
    raise SystemExit(f"{interface} has no IPv6 link-local address")


class Computer:
    def __init__(self, text):
        self.name, self.uuid, self.membership, self.fault = text.split(",")
        self.endpoint = "urn:uuid:" + self.uuid


def envelope(action, relates_to, body):
    return (
        '<?xml version="1.0" encoding="utf-8" ?>\r\n'
        f'<soap:Envelope xmlns:soap="{NS["soap"]}"\r\n    xmlns:wsa="{NS["wsa"]}"\r\n    xmlns:wsd="{DISCOVERY}">\r\n'
        "<soap:Header>\r\n"
        "  <wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>\r\n"
        f"  <wsa:Action>{action}</wsa:Action>\r\n"
        f"  <wsa:MessageID>urn:uuid:{uuid.uuid4()}</wsa:MessageID>\r\n"
        f"  <wsa:RelatesTo>{relates_to}</wsa:RelatesTo>\r\n"
        f'  <wsd:AppSequence InstanceId="{int(time.time())}" MessageNumber="7"></wsd:AppSequence>\r\n'
        f"</soap:Header>\r\n<soap:Body>{body}</soap:Body>\r\n</soap:Envelope>\r\n"
    ).encode()


def match(kind, computer, host):
    return (
        f"<wsd:{kind}Match><wsa:EndpointReference><wsa:Address>{computer.endpoint}</wsa:Address>"
        "</wsa:EndpointReference>"
        '<wsd:Types xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" '
        'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07">wsdp:Device pub:Computer</wsd:Types>'
        f"<wsd:XAddrs>http://{host}:{HTTP_PORT}/{computer.uuid}/</wsd:XAddrs>"
        f"<wsd:MetadataVersion>3</wsd:MetadataVersion></wsd:{kind}Match>"
    )


def metadata(computer):
    return (
        '<?xml version="1.0" encoding="utf-8"?>'
        f'<soap:Envelope xmlns:soap="{NS["soap"]}" xmlns:wsa="{NS["wsa"]}" '
        'xmlns:wsx="http://schemas.xmlsoap.org/ws/2004/09/mex" '
        'xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" '
        'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07">'
        "<soap:Header><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
        "<wsa:Action>http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse</wsa:Action>"
        f"<wsa:MessageID>urn:uuid:{uuid.uuid4()}</wsa:MessageID></soap:Header><soap:Body><wsx:Metadata>"
        '<wsx:MetadataSection Dialect="http://schemas.xmlsoap.org/ws/2006/02/devprof/ThisDevice">'
        "<wsdp:ThisDevice><wsdp:FriendlyName>Microsoft Publication Service Device Host</wsdp:FriendlyName>"
        "</wsdp:ThisDevice></wsx:MetadataSection>"
        '<wsx:MetadataSection Dialect="http://schemas.xmlsoap.org/ws/2006/02/devprof/Relationship">'
        '<wsdp:Relationship Type="http://schemas.xmlsoap.org/ws/2006/02/devprof/host"><wsdp:Host>'
        f"<wsa:EndpointReference><wsa:Address>{computer.endpoint}</wsa:Address></wsa:EndpointReference>"
        f"<wsdp:Types>pub:Computer</wsdp:Types><wsdp:ServiceId>{computer.endpoint}</wsdp:ServiceId>"
        f"<pub:Computer>{computer.name}\\{computer.membership}</pub:Computer>"
        "</wsdp:Host></wsdp:Relationship></wsx:MetadataSection></wsx:Metadata></soap:Body></soap:Envelope>"
    ).encode()


def answer_datagrams(sock, computers, host):
    while True:
        data, sender = sock.recvfrom(65536)
        try:
            message = ElementTree.fromstring(data)
        except ElementTree.ParseError:
            continue
        message_id = message.findtext("soap:Header/wsa:MessageID", "", NS).strip()
        body = message.find("soap:Body", NS)
        if body is None or not message_id:
            continue
        if body.find("wsd:Probe", NS) is not None:
            # Windows answers a probe for devices; one for computers, or
            # without types, it ignores.
            if body.findtext("wsd:Probe/wsd:Types", "", NS).split() != ["wsdp:Device"]:
                continue
            replies = [("Probe", c) for c in computers]
        elif body.find("wsd:Resolve", NS) is not None:
            wanted = body.findtext("wsd:Resolve/wsa:EndpointReference/wsa:Address", "", NS).strip()
            replies = [("Resolve", c) for c in computers if c.endpoint == wanted]
        else:
            continue
        for kind, computer in replies:
            reply = envelope(f"{DISCOVERY}/{kind}Matches", message_id,
                             f"<wsd:{kind}Matches>{match(kind, computer, host)}</wsd:{kind}Matches>")
            # A unicast reply goes twice, as SOAP-over-UDP repeats it.
            for _ in range(2):
                sock.sendto(reply, sender)


def serve_metadata(computers, family, address, scope):
    by_path = {f"/{c.uuid}/": c for c in computers}

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            self.rfile.read(min(length, 1 << 20))
            computer = by_path.get(self.path)
            if computer is None:
                self.send_error(404)
                return
            if computer.fault == "noget":
                time.sleep(60)
                return
            body = metadata(computer)
            if computer.fault == "malformed":
                body = body[: len(body) // 2]
            elif computer.fault == "huge":
                body = body.replace(b"<wsx:Metadata>", b"<wsx:Metadata>" + b"<!-- padding -->" * (1 << 18))
            self.send_response(200)
            self.send_header("Content-Type", "application/soap+xml")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            try:
                self.wfile.write(body)
            except OSError:
                pass

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        address_family = socket.AF_INET if family == 4 else socket.AF_INET6
        daemon_threads = True

    server = Server((address, HTTP_PORT, 0, scope) if family == 6 else (address, HTTP_PORT), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    interface, family, computers = sys.argv[1], int(sys.argv[2]), [Computer(a) for a in sys.argv[3:]]
    address = interface_address(interface, family)
    scope = socket.if_nametoindex(interface)
    if family == 4:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("", PORT))
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                        socket.inet_aton(GROUP4) + socket.inet_aton(address))
        host = address
    else:
        sock = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        sock.bind(("::", PORT))
        sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_JOIN_GROUP,
                        socket.inet_pton(socket.AF_INET6, GROUP6) + struct.pack("@I", scope))
        # Windows names its link-local address without a zone.
        host = f"[{address}]"
    serve_metadata(computers, family, address, scope)
    print("responder ready", flush=True)
    answer_datagrams(sock, computers, host)


if __name__ == "__main__":
    main()
