#!/usr/bin/env python3
"""Writes the two short tones of the resource library as WAV files (standard library only).

    python3 svres/tools/make_sounds.py svres/art
"""
import math
import struct
import sys
import wave

RATE = 11025


def tone(parts):
    """parts: (frequency Hz, seconds) pieces; each fades in and out so nothing clicks."""
    samples = []
    for frequency, seconds in parts:
        count = int(RATE * seconds)
        for n in range(count):
            envelope = min(1.0, n / (RATE * 0.005), (count - n) / (RATE * 0.03))
            value = math.sin(2 * math.pi * frequency * n / RATE) * envelope * 0.35
            value += math.sin(4 * math.pi * frequency * n / RATE) * envelope * 0.08
            samples.append(int(value * 32767))
    return b"".join(struct.pack("<h", s) for s in samples)


def write(path, data):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(data)


def main():
    if len(sys.argv) != 2:
        print("usage: make_sounds.py OUTPUT_FOLDER", file=sys.stderr)
        return 2
    folder = sys.argv[1]
    # A folder's list has been filled: one soft, short blip.
    write(f"{folder}/sound-261-folder-filled.wav", tone([(880, 0.06)]))
    # A long job is done: two rising notes.
    write(f"{folder}/sound-264-done.wav", tone([(659, 0.12), (988, 0.2)]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
