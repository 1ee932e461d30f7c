#!/usr/bin/python3
"""Peer for bench_files_formats: the same file work done with python3-mido.

    peer_mido.py export RECORDING.vsq OUTPUT.mid
    peer_mido.py import TONES.vnx
    peer_mido.py read SONG.mid
    peer_mido.py baseline

Prints one line: seconds of the timed work, peak resident set size in KiB, a
checksum of the events (absolute tick, status, data1, data2) to compare, and
the CPU seconds of the timed work (steadier than wall time on a busy machine).
Loading the native recording for the export is not timed, like the in-memory
recording on the C++ side.
"""
import resource
import struct
import sys
import time

import mido

TEMPO = 500000
DIVISION = 10


def checksum(events):
    total = 0
    for tick, status, data1, data2 in events:
        total = (total * 1000003 + tick * 131 + status * 7 + data1 * 3 + data2) % (1 << 61)
    return total


def peak_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def message_for(status, data1, data2, delta):
    kind = status & 0xF0
    channel = status & 0x0F
    if kind == 0x90:
        return mido.Message('note_on', channel=channel, note=data1, velocity=data2, time=delta)
    if kind == 0x80:
        return mido.Message('note_off', channel=channel, note=data1, velocity=data2, time=delta)
    if kind == 0xC0:
        return mido.Message('program_change', channel=channel, program=data1, time=delta)
    if kind == 0xD0:
        return mido.Message('aftertouch', channel=channel, value=data1, time=delta)
    if kind == 0xB0:
        return mido.Message('control_change', channel=channel, control=data1, value=data2, time=delta)
    raise ValueError('status %02X' % status)


def export(recording, output):
    with open(recording, 'rb') as f:
        raw = f.read()
    events = [struct.unpack_from('<IBBB', raw, offset) for offset in range(0, len(raw) - 6, 7)]

    start = time.perf_counter()
    cpu_start = time.process_time()
    track = mido.MidiTrack()
    track.append(mido.MetaMessage('set_tempo', tempo=TEMPO, time=0))
    track.append(mido.Message('note_on', note=0, velocity=0, time=0))
    track.append(mido.Message('note_off', note=0, velocity=0, time=1))
    previous = 1
    for tick, status, data1, data2 in events:
        delta = 0
        if tick >= previous:
            delta = min(tick - previous, 0x0FFFFFFF)
            previous = tick
        track.append(message_for(status, data1, data2, delta))
    track.append(mido.MetaMessage('end_of_track', time=0))
    midi = mido.MidiFile(type=0, ticks_per_beat=DIVISION)
    midi.tracks.append(track)
    midi.save(output)
    seconds = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    print(seconds, peak_kib(), checksum(events), cpu)


def to_int(text):
    stripped = text.lstrip(' ')
    if stripped[:1] in ('$', 'x', 'X'):
        value = int(stripped[1:], 16)
    elif stripped[:2] in ('0x', '0X'):
        value = int(stripped[2:], 16)
    else:
        if not stripped or not stripped.lstrip('+-').isdigit():
            raise ValueError(text)
        return int(stripped)
    return value - (1 << 32) if value >= 1 << 31 else value


def import_tones(name):
    import math
    start = time.perf_counter()
    cpu_start = time.process_time()
    with open(name, 'rb') as f:
        text = f.read().split(b'\0', 1)[0].decode('latin-1')
    lines = text.replace('\r\n', '\n').replace('\r', '\n').split('\n')
    if lines and lines[-1] == '' and text.endswith(('\n', '\r')):
        lines.pop()
    track = mido.MidiTrack()
    events = []
    running = 0.0
    tick = 0
    last = 0
    for group in range(len(lines) // 3):
        frequency = to_int(lines[3 * group])
        if frequency != 0:
            volume = max(0, min(65535, to_int(lines[3 * group + 2])))
            velocity = volume * 127 // 65535
        if frequency == 0 or velocity == 0:
            running += max(0, to_int(lines[3 * group + 1])) / 50
            tick = round(running)
            continue
        note = max(0, min(127, round(12 * math.log2(frequency / 8.2))))
        events.append((tick, 0x90, note, velocity))
        track.append(mido.Message('note_on', note=note, velocity=velocity, time=tick - last))
        last = tick
        running += max(0, to_int(lines[3 * group + 1])) / 50
        tick = round(running)
        events.append((tick, 0x80, note, velocity))
        track.append(mido.Message('note_off', note=note, velocity=velocity, time=tick - last))
        last = tick
    seconds = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    print(seconds, peak_kib(), checksum(events), cpu)


def read(name):
    """MidiFile() on the file, then its channel messages with their ticks:
    at division 10 and 500000 us per quarter a file tick is a 50 ms step."""
    start = time.perf_counter()
    cpu_start = time.process_time()
    midi = mido.MidiFile(name)
    events = []
    tick = 0
    for message in midi.tracks[0]:
        tick += message.time
        if not message.is_meta and message.type != 'sysex':
            data = message.bytes() + [0]
            events.append((tick, data[0], data[1], data[2]))
    events = events[2:]  # the export's silent note pair
    seconds = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    print(seconds, peak_kib(), checksum(events), cpu)


if __name__ == '__main__':
    if sys.argv[1] == 'export':
        export(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == 'import':
        import_tones(sys.argv[2])
    elif sys.argv[1] == 'read':
        read(sys.argv[2])
    else:
        print(0.0, peak_kib(), 0, 0.0)
