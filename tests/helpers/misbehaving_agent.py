#!/usr/bin/env python3
"""An SNMPv1/v2c agent on 127.0.0.1 that misbehaves in one chosen way.

Usage: misbehaving_agent.py MODE [SECONDS]. It binds a free UDP port, prints it on one line
and serves GET, GETNEXT and GETBULK (any community) until SECONDS (default 120) have passed.
The data: ifTable (1.3.6.1.2.1.2.2) with ifIndex and ifDescr for 60 rows, a few scalars under
1.3.6.1.4.1.99999.30 of awkward types, a small table under 1.3.6.1.4.1.99999.1 and an object
under 1.3.6.1.4.1.99999.10 (whose name shares the first one's text prefix), then ipForwarding.0 (in mode endofview the table is all there is).
A GET of 1.3.6.1.4.1.99999.99.0 (outside the data, so no walk meets it) answers the number of
GETBULK requests received so far.
"""
import select
import socket
import sys
import time

IF_ENTRY = (1, 3, 6, 1, 2, 1, 2, 2, 1)
PRIVATE = (1, 3, 6, 1, 4, 1, 99999)
AFTER = (1, 3, 6, 1, 2, 1, 4, 1, 0)
BULKS = PRIVATE + (99, 0)

INTEGER, OCTETS, NULL, OID, SEQUENCE = 0x02, 0x04, 0x05, 0x06, 0x30
IPADDRESS, COUNTER32, OPAQUE, END_OF_VIEW = 0x40, 0x41, 0x44, 0x82


def length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, 'big')
    return bytes([0x80 | len(raw)]) + raw


def tlv(tag, body):
    return bytes([tag]) + length(len(body)) + body


def integer(tag, value):
    raw = value.to_bytes(max(1, (value.bit_length() + 8) // 8), 'big', signed=True)
    return tlv(tag, raw)


def encode_oid(numbers):
    body = bytes([numbers[0] * 40 + numbers[1]])
    for n in numbers[2:]:
        chunk = [n & 0x7F]
        n >>= 7
        while n:
            chunk.insert(0, 0x80 | (n & 0x7F))
            n >>= 7
        body += bytes(chunk)
    return tlv(OID, body)


def decode(data, at=0):
    """(tag, body, next position) of the element at `at`."""
    tag, n = data[at], data[at + 1]
    at += 2
    if n & 0x80:
        count = n & 0x7F
        n = int.from_bytes(data[at:at + count], 'big')
        at += count
    return tag, data[at:at + n], at + n


def elements(body):
    items, at = [], 0
    while at < len(body):
        tag, value, at = decode(body, at)
        items.append((tag, value))
    return items


def decode_oid(body):
    numbers, n = [body[0] // 40, body[0] % 40], 0
    for b in body[1:]:
        n = (n << 7) | (b & 0x7F)
        if not b & 0x80:
            numbers.append(n)
            n = 0
    return tuple(numbers)


def build_data(mode):
    data = {}
    for row in range(1, 61):
        data[IF_ENTRY + (1, row)] = integer(INTEGER, row)
        data[IF_ENTRY + (2, row)] = tlv(OCTETS, b'if%d' % row)
        if mode == 'ipcolumn':
            data[IF_ENTRY + (3, row)] = tlv(IPADDRESS, bytes([10, 0, 0, row]))
        if mode == 'wide':  # all 22 columns of IF-MIB's ifEntry
            for column in range(3, 23):
                data[IF_ENTRY + (column, row)] = integer(INTEGER, row)
    if mode == 'stray':
        data[IF_ENTRY[:-1] + (2, 1)] = integer(INTEGER, 7)  # inside ifTable, outside ifEntry
    if mode == 'endofview':
        return data  # the table is the last thing in the view
    data[PRIVATE + (1, 1, 1)] = integer(INTEGER, 1)
    data[PRIVATE + (1, 1, 2)] = integer(INTEGER, 2)
    data[PRIVATE + (30, 1, 0)] = tlv(IPADDRESS, bytes([192, 0, 2, 7]))
    data[PRIVATE + (30, 2, 0)] = tlv(OPAQUE, b'\x01\x02\xff')
    data[PRIVATE + (30, 3, 0)] = integer(INTEGER, 2 ** 40)
    data[PRIVATE + (30, 4, 0)] = integer(COUNTER32, 2 ** 33 + 7)
    data[PRIVATE + (30, 5, 0)] = tlv(0x45, b'\x47\x11')  # NsapAddress: no conversion
    data[PRIVATE + (30, 6, 0)] = tlv(OCTETS, b'x' * 130)  # long-form lengths around it
    data[PRIVATE + (30, 7, 0)] = integer(INTEGER, -2 ** 40)
    data[PRIVATE + (10, 1)] = integer(INTEGER, 10)
    if mode == 'longtail':
        for n in range(1, 61):  # a pass that leaves the table ends in plain integers
            data[PRIVATE + (20, n)] = integer(INTEGER, n)
    data[AFTER] = integer(INTEGER, 2)
    return data


class Agent:
    def __init__(self, mode):
        self.mode = mode
        self.data = build_data(mode)
        self.order = sorted(self.data)
        self.bulks = 0

    def next_of(self, name):
        """The binding after `name` (the agent's bugs included), or None at the end."""
        if self.mode == 'cycle' and name >= IF_ENTRY + (2, 1):
            return IF_ENTRY + (2, 1) if name >= IF_ENTRY + (2, 2) else IF_ENTRY + (2, 2)
        if self.mode == 'endless' and name[:len(IF_ENTRY) + 1] == IF_ENTRY + (2,):
            return IF_ENTRY + (2, name[-1] + 1 if len(name) > len(IF_ENTRY) + 1 else 1)
        return next((o for o in self.order if o > name), None)

    def value(self, name):
        return self.data.get(name, tlv(OCTETS, b'x'))

    def bulk(self, start, repetitions):
        if self.mode == 'alltoobig' or (self.mode == 'toobig' and repetitions > 8):
            return None
        if self.mode == 'restart' and start > IF_ENTRY:
            start = IF_ENTRY[:-1]
        if self.mode == 'overlap' and start > IF_ENTRY:
            start = self.order[max(0, self.order.index(start) - 10)] if start in self.data else start
        out, name = [], start
        for step in range(repetitions):
            following = self.next_of(name)
            if following is None:
                out.append((name, tlv(END_OF_VIEW, b'')))
                break
            out.append((following, self.value(following)))
            if self.mode == 'interleave' and len(out) % 6 == 5 and step < repetitions - 1:
                out.append((AFTER, integer(INTEGER, 2)))
            name = following
        if self.mode == 'backtail' and len(out) > 1:
            out[-1] = (IF_ENTRY + (1, 1), integer(INTEGER, 1))
        return out[:repetitions] if self.mode != 'interleave' else out

    def answer(self, request, stray=False):
        _, message, _ = decode(request)
        (_, version), (_, community), (command, pdu) = elements(message)
        (_, request_id), (_, field1), (_, field2), (_, bindings) = elements(pdu)
        if stray:
            # Another kind of message under another request ID, before the answer itself.
            request_id = (int.from_bytes(request_id, 'big') + 1).to_bytes(4, 'big')
        names = [decode_oid(elements(b)[0][1]) for _, b in elements(bindings)]
        status, index, out = 0, 0, []
        if self.mode == 'garbage':
            return tlv(SEQUENCE, integer(INTEGER, int.from_bytes(version, 'big')) +
                       tlv(OCTETS, community) + b'\xa2\x03\xff\xff\xff')
        if command == 0xA0:
            if self.mode in ('generr', 'badindex') and len(names) > 1:
                status, index = (5, 2) if self.mode == 'generr' else (2, 99)
            # In mode v1generr the second of three names is missing, and then two fail.
            if self.mode == 'v1generr' and len(names) > 1:
                status, index = (2, 2) if len(names) > 2 else (5, 1)
            out = [(n, integer(INTEGER, self.bulks) if n == BULKS else
                    self.data[n] if n in self.data else tlv(0x80, b'')) for n in names]
        elif command == 0xA1:
            for n in names:
                following = self.next_of(n)
                out.append((following, self.value(following)) if following
                           else (n, tlv(END_OF_VIEW, b'')))
        elif command == 0xA5:
            self.bulks += 1
            repetitions = int.from_bytes(field2, 'big')
            out = self.bulk(names[0], repetitions)
            if out is None:
                status, index, out = 1, 0, [(names[0], tlv(NULL, b''))]
        body = b''.join(tlv(SEQUENCE, encode_oid(n) + v) for n, v in out)
        pdu = (tlv(INTEGER, request_id) + integer(INTEGER, status) + integer(INTEGER, index) +
               tlv(SEQUENCE, body))
        # In mode wrongtype the answer comes as a GET request.
        kind = 0xA0 if self.mode == 'wrongtype' or stray else 0xA2
        return tlv(SEQUENCE, tlv(INTEGER, version) + tlv(OCTETS, community) + tlv(kind, pdu))


def main():
    mode = sys.argv[1]
    deadline = time.monotonic() + (float(sys.argv[2]) if len(sys.argv) > 2 else 120)
    agent = Agent(mode)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(('127.0.0.1', 0))
    print(sock.getsockname()[1], flush=True)
    while time.monotonic() < deadline:
        if not select.select([sock], [], [], 0.5)[0]:
            continue
        request, peer = sock.recvfrom(65535)
        try:
            if mode == 'strayfirst':
                sock.sendto(agent.answer(request, stray=True), peer)
            sock.sendto(agent.answer(request), peer)
        except (ValueError, IndexError):
            pass  # not a message this agent understands: no answer


if __name__ == '__main__':
    main()
