#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (run from this folder).

fuzz_chunk seeds are state chunks; fuzz_clap_state seeds are CLAP states behind
a read-size byte; fuzz_dispatcher seeds are host-call sequences in the byte
format fuzz_dispatcher.cpp decodes."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def floats(values):
    return b"".join(struct.pack("<f", v) for v in values)


def fresh_state():
    s = [0.0] * 65
    s[0] = -1000.0
    s[14] = s[15] = -24.0
    s[22] = 25.2
    return s


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def chunk_seeds():
    fresh = floats(fresh_state())
    write("fuzz_chunk", "fresh-260", fresh)
    write("fuzz_chunk", "truncated-16", floats([-1000.0, 5.0, -6.0, 7.0]))
    write("fuzz_chunk", "truncated-19", floats([-1000.0, 5.0, -6.0, 7.0]) + b"\x01\x02\x03")
    write("fuzz_chunk", "markerless-260", floats([0.0] + fresh_state()[1:]))
    write("fuzz_chunk", "oversized-262", fresh + b"\x12\x34")
    write("fuzz_chunk", "oversized-1000", fresh + floats([1.0e30] * 185))
    s = fresh_state()
    s[22] = 100.0
    s[1] = float("nan")
    s[2] = float("inf")
    s[10] = -3.4e38
    write("fuzz_chunk", "out-of-range-260", floats(s))
    write("fuzz_chunk", "marker-only-4", floats([-1000.0]))
    write("fuzz_chunk", "short-3", b"\x00\x00\x7a")


# fuzz_dispatcher byte format.
def small_or_wide(x, wide_format):
    if -128 <= x <= 127 and (x & 0xFF) < 240:
        return bytes([x & 0xFF])
    return b"\xf0" + struct.pack(wide_format, x)


def op(opcode, index=0, value=0, opt_special=None, opt=0.0, payload=b"", null_ptr=False):
    out = bytes([0])  # step kind: dispatcher
    out += bytes([opcode + 2]) if -2 <= opcode <= 85 else b"\xf0" + struct.pack("<i", opcode)
    out += small_or_wide(index, "<i")
    out += small_or_wide(value, "<q")
    if opt_special is not None:
        out += bytes([(opt_special << 1) | 1])
    else:
        out += b"\x00" + struct.pack("<f", opt)
    out += payload
    if opcode != 69:  # the speaker query always gets its places
        out += b"\x00" if null_ptr else b"\x01"
    return out


def set_param(index, value):
    return bytes([6]) + small_or_wide(index, "<i") + b"\x00" + struct.pack("<f", value)


def get_param(index):
    return bytes([7]) + small_or_wide(index, "<i")


def process(kind, frames, layout=0):
    out = bytes([kind, frames + 2, layout])
    for i in range(frames + 1):
        out += b"\x00" + struct.pack("<f", 0.01 * i) + b"\x00" + struct.pack("<f", -0.02 * i)
    return out


def host_prefix(time_info):
    info = struct.pack("<8d6i", 0, 48000, 0, 16.5, 120.0, 16.0, 0, 0, 4, 4, 0, 0, 0, 2 | 1024 | 8192 | 512)
    return bytes([1 if time_info else 0]) + info


def chunk_payload(data, exact=True):
    return struct.pack("<H", len(data)) + data + (b"\x01" if exact else b"\x00")


def startup():
    return (op(0) + op(10, opt=48000.0) + op(11, value=512) + op(12, value=1))


def dispatcher_seeds():
    fresh = floats(fresh_state())
    write("fuzz_dispatcher", "host-lifecycle",
          host_prefix(True) + startup() + process(8, 32) + process(9, 16, 1) + set_param(0, 0.25) +
          get_param(0) + op(23) + op(12, value=0) + op(12, value=1))
    write("fuzz_dispatcher", "state-round-trip",
          host_prefix(False) + startup() + op(24, value=260, payload=chunk_payload(fresh)) + op(23) +
          op(24, value=16, payload=chunk_payload(floats([-1000.0, 1.0, 2.0, 3.0]))) +
          op(24, value=-1, payload=chunk_payload(fresh, exact=False)) + process(8, 8))
    write("fuzz_dispatcher", "texts",
          host_prefix(False) + op(4, payload=bytes([200, 0]) + b"p" * 200) + op(5) + op(8, index=4) + op(7, index=5) +
          op(6, index=9) + op(45) + op(47) + op(48) + op(51, payload=bytes([19, 0]) + b"receiveVstMidiEvent") +
          op(51, payload=bytes([6, 0]) + b"bypass"))
    write("fuzz_dispatcher", "editor-and-odd-opcodes",
          host_prefix(True) + op(13) + op(14) + op(19) + op(59, index=65, value=12, opt=3.0) + op(61, value=2) +
          op(69, payload=b"\x01") + op(73, value=1 << 40) + op(-1) + op(85) + op(0x7FFFFFFF) + op(15))
    write("fuzz_dispatcher", "bad-values",
          host_prefix(False) + startup() + set_param(0, float("nan")) + set_param(200, 0.5) + set_param(-1, 1.0) +
          op(10, opt_special=0) + op(12, value=1) + process(9, 4) + op(10, opt_special=2) + op(12, value=1) +
          process(8, 4, 0xFF) + get_param(-1))
    events = bytes([3]) + bytes([0]) + b"\x01" + b"\x00" * 31 + bytes([3]) + bytes([2])
    write("fuzz_dispatcher", "events", host_prefix(False) + startup() + op(25, payload=events) + process(8, 16))


# fuzz_clap_state: the first byte sets how many bytes each read hands over.
def clap_state_seeds():
    fresh = floats(fresh_state())
    exact = struct.pack("<6d", 0.0, 0.0, 0.0, -24.0, -24.0, 25.2) + struct.pack("<I", 6) + b"TnrvExac"
    write("fuzz_clap_state", "saved-one-byte-reads", b"\x00" + fresh + exact)
    write("fuzz_clap_state", "saved-whole", b"\x3f" + fresh + exact)
    write("fuzz_clap_state", "plain-chunk", b"\x07" + fresh)
    wrong = struct.pack("<6d", 0.0, float("nan"), 1e300, -24.0, -24.0, 25.25) + struct.pack("<I", 6) + b"TnrvExac"
    write("fuzz_clap_state", "exact-values-that-disagree", b"\x02" + fresh + wrong)
    write("fuzz_clap_state", "bad-count", b"\x05" + fresh + exact[:-12] + struct.pack("<I", 600) + b"TnrvExac")


if __name__ == "__main__":
    chunk_seeds()
    dispatcher_seeds()
    clap_state_seeds()
