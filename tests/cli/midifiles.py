"""Standard MIDI Files for the command-line tests, written and read with the
standard library only, so that neither side depends on the code under test."""

import random
import struct

EOT = b"\xff\x2f\x00"


def varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def tempo_event(us):
    return b"\xff\x51\x03" + us.to_bytes(3, "big")


def smf(fmt, division, tracks, chunks=None):
    """A file from tracks of (absolute tick, event bytes); `chunks` overrides
    the track count in the header. Deltas in shortest form, no running status."""
    out = b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks) if chunks is None else chunks, division)
    for track in tracks:
        body, previous = b"", 0
        for tick, data in track:
            body += varlen(tick - previous) + data
            previous = tick
        out += b"MTrk" + struct.pack(">I", len(body)) + body
    return out


def generate(seed, tracks=4, events=400, tempo=None, tempo_track=0, division=480):
    """A realistic format-1 file: channel messages of every kind with running
    status, sysex (F0 and F7), meta events, many events on one tick, now and
    then a long gap; `tempo` (if given) at tick 0 of track `tempo_track`."""
    rng = random.Random(seed)
    body_chunks = []
    for t in range(tracks):
        body, now, previous, running = bytearray(), 0, 0, None

        def emit(data, channel_message):
            nonlocal previous, running
            body.extend(varlen(now - previous))
            previous = now
            if channel_message and data[0] == running and rng.random() < 0.7:
                body.extend(data[1:])
            else:
                body.extend(data)
            running = data[0] if channel_message else None

        if tempo is not None and t == tempo_track:
            emit(tempo_event(tempo), False)
        for _ in range(events):
            r = rng.random()
            if r < 0.35:
                pass  # same tick as the event before
            elif r < 0.97:
                now += rng.randrange(1, 240)
            else:
                now += rng.randrange(0x4000, 0x300000)
            data = bytes(rng.randrange(128) for _ in range(rng.randrange(1, 40)))
            r = rng.random()
            if r < 0.7:
                # One channel a track, as most files have it: running status is common.
                status = rng.choice((0x80, 0x90, 0x90, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0)) | (t % 16)
                size = 1 if 0xC0 <= status < 0xE0 else 2
                emit(bytes([status]) + (data * 2)[:size], True)
            elif r < 0.78:
                emit(b"\xf0" + varlen(len(data) + 1) + data + b"\xf7", False)
            elif r < 0.85:
                emit(b"\xf7" + varlen(len(data)) + data, False)
            else:
                kind, payload = rng.choice([
                    (0x01, data), (0x03, b"Track %d" % t), (0x06, b"marker"), (0x7F, data[:8]),
                    (0x58, bytes([rng.randrange(1, 8), rng.randrange(1, 5), 24, 8])),
                    (0x59, bytes([rng.randrange(-7, 8) & 0xFF, rng.randrange(2)])),
                ])
                emit(bytes([0xFF, kind]) + varlen(len(payload)) + payload, False)
        now += rng.choice([0, 0, rng.randrange(1, 500)])
        emit(EOT, False)
        body_chunks.append(bytes(body))
    out = b"MThd" + struct.pack(">IHHH", 6, 1, tracks, division)
    for body in body_chunks:
        out += b"MTrk" + struct.pack(">I", len(body)) + body
    return out


class Smf:
    """format, division and tracks of (absolute tick, event bytes with status)."""

    def __init__(self, data):
        if data[:4] != b"MThd":
            raise ValueError("no MThd")
        length, self.format, count, self.division = struct.unpack(">IHHH", data[4:14])
        pos, self.tracks = 8 + length, []
        for _ in range(count):
            kind, size = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
            pos += 8
            if kind == b"MTrk":
                self.tracks.append(self._track(data[pos:pos + size]))
            pos += size

    @staticmethod
    def _track(body):
        def read_varlen():
            nonlocal pos
            value = 0
            while True:
                byte = body[pos]
                pos += 1
                value = (value << 7) | (byte & 0x7F)
                if byte < 0x80:
                    return value

        events, pos, now, running = [], 0, 0, None
        while pos < len(body):
            now += read_varlen()
            status = body[pos]
            if status < 0x80:
                status = running
            else:
                pos += 1
            start = pos
            if status in (0xF0, 0xF7):
                length = read_varlen()  # advances pos: not inside "pos +="
                pos += length
                running = None
            elif status == 0xFF:
                pos += 1
                length = read_varlen()
                pos += length
                running = None
            else:
                pos += 1 if 0xC0 <= status < 0xE0 else 2
                running = status
            events.append((now, bytes([status]) + body[start:pos]))
            if events[-1][1] == EOT:
                break
        return events

    def tempo(self):
        """The payload of the first set-tempo event, 500000 without one."""
        for track in self.tracks:
            for _, data in track:
                if data[:2] == b"\xff\x51":
                    return int.from_bytes(data[-3:], "big")
        return 500000

    def merged(self):
        """Every event but the ends of track, by tick, ties in track order."""
        events = [e for track in self.tracks for e in track if e[1] != EOT]
        return sorted(events, key=lambda e: e[0])

    def end(self):
        return max(track[-1][0] for track in self.tracks)

    def event_count(self):
        return sum(len(track) for track in self.tracks)
