#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (run from this folder).

fuzz_chunk seeds are state chunks; fuzz_clap_state seeds are CLAP states behind
a read-size byte; fuzz_dispatcher seeds are host-call sequences in the byte
format fuzz_dispatcher.cpp decodes; fuzz_vst3, fuzz_clap and fuzz_lv2 seeds
are host sessions in the byte formats their harnesses decode (one byte picks
each call, the bytes after it its arguments). An input a long run found is
kept in its folder as it was found, beside these."""
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


# ---------------------------------------------------------------- the faces

def u16(x):
    return struct.pack("<H", x)


def value_in_range(fraction):
    """pickValue: a point inside the range (tag 13)."""
    return bytes([13]) + u16(int(fraction * 65535))


def value_special(tag):
    """pickValue: 0 minimum, 1 maximum, 2 default, 3 NaN, 4 inf, 9 1e308."""
    return bytes([tag])


def frames_announced():
    return bytes([3])  # pickFrames: the announced size


def frames_some(n):
    return bytes([7]) + u16(n - 1)  # pickFrames: 1 + n % announced


STREAM_WHOLE = bytes([0x0F])  # StreamPlan: pieces of 1 MiB, nothing wrong
STREAM_BYTES = bytes([0x08])  # one byte a call
STREAM_FAILING = bytes([0x01]) + u16(100)  # pieces of 2, an error after 100 bytes

AS_SAVED = bytes([0])  # pickStateBytes: the last save as it was
A_NAN_AT_3 = bytes([4]) + u16(3) + bytes([0])  # the float at index 3 made NaN
A_HUGE_AT_2 = bytes([4]) + u16(2) + bytes([3])  # the float at index 2 made 3.4e38


# fuzz_vst3.cpp: op % 20 picks the call.
def v3_setup(rate=0, block=1024, wide=False):
    # rates[r % 10], mode, sample size, block
    return bytes([0, rate, 0, 2 if wide else 0]) + u16(block - 1)


def v3_stereo():
    return bytes([1, 0, 0, 0, 0, 1, 1])


def v3_mono():
    return bytes([1, 1, 1, 1, 1, 1, 1])


def v3_active(on):
    return bytes([3, 1 if on else 0])


def v3_processing(on):
    return bytes([4, 1 if on else 0])


def v3_block(frames, changes=(), wide=False, in_place=False, layouts=0x00, signal=1):
    shape = (0x03 if wide else 0x00) | (0x20 if in_place else 0)
    out = bytes([5, shape]) + frames + bytes([layouts, 0, signal]) + u16(7)
    out += bytes([len(changes)])
    for param, at, fraction in changes:
        out += bytes([param, 0, at]) + value_in_range(fraction)  # one point per queue
    return out


def v3_set(param, value):
    return bytes([8, param, 1]) + value


def v3_texts(param, value):
    return bytes([10, param]) + value + bytes([4]) + b"6.5 " + value_in_range(0.5)


def v3_save(plan=STREAM_WHOLE):
    return bytes([11]) + plan


def v3_load(plan=STREAM_WHOLE, bytes_=AS_SAVED, how=0):
    return bytes([12]) + bytes_ + plan + bytes([how])


def v3_editor(*calls):
    """Each call: (slot, sub, argument bytes)."""
    return b"".join(bytes([14, slot, sub]) + args for slot, sub, args in calls)


def click(x, y, right=False):
    """Click::read: the point as fractions of the 681 x 371 window, held for two turns, released."""
    return u16(int(x / 681 * 65536)) + u16(int(y / 371 * 65536)) + bytes([0 if right else 1, 1, 0, 1])


def v3_click(x, y, right=False):
    return bytes([14, 0, 8]) + click(x, y, right)


def vst3_seeds():
    start = v3_setup() + v3_stereo() + v3_active(True) + v3_processing(True)
    write("fuzz_vst3", "ardour-session",
          bytes([0x00]) + start + v3_block(frames_announced(), [(0, 0, 0.5), (0, 120, 0.75)]) +
          v3_set(0, value_in_range(0.5)) + v3_block(frames_announced()) + v3_save() + v3_load() +
          v3_processing(False) + v3_active(False) + v3_set(2, value_in_range(0.3)) + v3_save())
    write("fuzz_vst3", "validator-order",
          bytes([0x01]) + bytes([13, 0]) + bytes([13, 1]) + v3_setup(1, 512, wide=True) + v3_mono() +
          v3_active(True) + v3_processing(True) + v3_block(frames_some(100), wide=True, layouts=0xCC) +
          v3_block(bytes([0]), [(1, 0, 0.25)]) + v3_block(frames_announced(), wide=True, in_place=True) +
          v3_save(STREAM_BYTES) + v3_load(STREAM_BYTES, how=1) + v3_processing(False) + v3_active(False))
    write("fuzz_vst3", "careless-host",
          bytes([0x40]) + v3_block(frames_some(64)) + v3_active(True) + v3_active(True) + v3_setup(3, 64) +
          v3_block(frames_some(300), [(5, 250, 1.0)], signal=6) + v3_set(1, value_special(3)) + v3_save() +
          v3_load(STREAM_FAILING, A_NAN_AT_3) + v3_load(STREAM_WHOLE, A_HUGE_AT_2, how=1) + v3_save(STREAM_FAILING) +
          bytes([13, 2, 0]) + v3_block(frames_announced(), signal=5))
    write("fuzz_vst3", "editor",
          bytes([0x00]) + start + v3_editor((0, 0, b"\x00"), (0, 1, b"\x01"), (0, 5, b"\x02"), (0, 2, b"\x02")) +
          v3_click(200, 55) + v3_block(frames_announced()) + v3_click(50, 50, right=True) +
          v3_editor((0, 5, b"\x01"), (0, 10, b"\x02"), (1, 0, b"\x00"), (1, 1, b"\x01"), (1, 2, b"\x02"),
                    (0, 3, b""), (0, 7, b""), (1, 7, b"")) + v3_processing(False) + v3_active(False))
    write("fuzz_vst3", "texts", bytes([0x00]) + b"".join(
        v3_texts(p, v) for p in range(6) for v in (value_special(0), value_special(1), value_in_range(0.123))))


# fuzz_clap.cpp: op % 20 picks the call.
def clap_activate(rate=1, block=512):
    return bytes([0, rate, 1]) + u16(block - 1) + bytes([1])


def clap_activate_largest(rate=1):
    """An announced maximum past the largest block size passed on."""
    return bytes([0, rate, 0xFF]) + struct.pack("<I", 70000) + bytes([1])


def clap_block(frames, events=b"", wide=False, in_place=False, layouts=0x00, signal=1, out=2):
    shape = (5 if wide else 0) | (0x10 if in_place else 0)
    return (bytes([5, shape]) + frames + bytes([layouts, 0, signal]) + u16(3) + bytes([len(events)]) + events +
            bytes([out]))


def clap_values(*changes, sorted_events=True):
    """Events: (param pick, frame of 256, value bytes)."""
    out = bytes([len(changes), 1 if sorted_events else 0])
    for param, at, value in changes:
        out += bytes([0, at, param]) + value
    return out


def clap_flush(events):
    return bytes([8, len(events)]) + events + bytes([2, 1])


def clap_load(plan=STREAM_WHOLE, bytes_=AS_SAVED):
    return bytes([12]) + bytes_ + plan


def clap_gui(sub, args=b""):
    return bytes([13, sub]) + args


def clap_click(x, y, right=False):
    return bytes([13, 9]) + click(x, y, right)


def clap_seeds():
    write("fuzz_clap", "bitwig-like",
          bytes([0x00]) + clap_activate() + bytes([2]) +
          clap_block(frames_announced(), clap_values((0, 0, value_in_range(0.5)), (3, 128, value_special(1)))) +
          bytes([9, 1, 1]) + value_in_range(0.7) + bytes([0, 8]) + b"-3.25 dB" + bytes([1]) +
          bytes([11]) + STREAM_WHOLE + clap_load(STREAM_BYTES) +
          clap_block(frames_some(100), wide=True, in_place=True) + bytes([3, 1]))
    write("fuzz_clap", "no-optional-extensions",
          bytes([0x01]) + clap_gui(0, b"\x00\x01") + bytes([2]) + clap_activate(0, 64) + bytes([2]) +
          clap_block(frames_announced(), out=0) + clap_flush(b""))
    write("fuzz_clap", "editor",
          bytes([0x00]) + clap_gui(0, b"\x00\x01") + clap_gui(2, b"\x02") + clap_gui(3) + clap_gui(5, b"\x02") +
          clap_gui(6) + clap_click(200, 55) + clap_click(50, 50, right=True) + clap_flush(b"") +
          clap_gui(2, b"\x00") + clap_gui(7) + clap_gui(1) + bytes([16, 1]))
    write("fuzz_clap", "careless-host",
          bytes([0x40]) + clap_block(frames_some(32)) + bytes([2, 4]) + clap_activate(8, 1) + clap_activate_largest(2) +
          clap_block(frames_announced(), clap_values((0, 200, value_special(3)), (1, 10, value_special(9)),
                                                      sorted_events=False), layouts=0xC0, signal=6) +
          bytes([11]) + STREAM_WHOLE + clap_load(STREAM_FAILING, A_NAN_AT_3) + clap_load(STREAM_BYTES, A_HUGE_AT_2) +
          bytes([17, 4, 0]))
    write("fuzz_clap", "state-round-trips",
          bytes([0x00]) + clap_flush(clap_values((2, 0, value_in_range(0.4)))) + bytes([11]) + STREAM_BYTES +
          clap_load(STREAM_WHOLE) + clap_load(STREAM_WHOLE, bytes([2]) + u16(100)) +
          clap_load(STREAM_WHOLE, bytes([3, 3, 1, 2, 3])))


# fuzz_lv2.cpp: op % 16 picks the call.
def lv2_run(frames, signal=1, events=b""):
    return bytes([3]) + frames + bytes([signal]) + u16(5) + bytes([len(events)]) + events


def lv2_position(frame_of_200):
    """One time:Position in a frame-stamped sequence: 120 BPM as a Double, speed 1 as a Float."""
    tempo = (120 + 1e6) / 2e6
    return bytes([1, 1, 1, 2, 13]) + value_in_range(tempo) + bytes([6]) + value_special(2) + bytes([frame_of_200, 1])


def lv2_ui(slot, sub, args=b""):
    return bytes([12, slot, sub]) + args


def lv2_seeds():
    options = bytes([0x10]) + bytes([1]) + u16(511)  # a map, maxBlockLength as an Int: 512
    write("fuzz_lv2", "jalv-session",
          options + bytes([1]) + lv2_run(frames_announced()) + bytes([6, 0]) + value_in_range(0.7) +
          lv2_run(frames_some(100), events=lv2_position(50)) + bytes([8, 1]) + bytes([9, 0]) +
          lv2_run(frames_announced()) + bytes([2]))
    write("fuzz_lv2", "no-features",
          bytes([0x08]) + bytes([1]) + u16(63) + bytes([1]) + lv2_run(frames_some(64)) + bytes([8, 1, 9, 0]))
    write("fuzz_lv2", "interface",
          options + bytes([1]) + lv2_ui(0, 0, b"\x60\x02") + lv2_ui(0, 2, b"\x01") + lv2_ui(0, 6) + click(200, 55) +
          lv2_run(frames_announced()) + lv2_ui(0, 4, b"\x05") +
          value_in_range(0.25) + b"\x01\x01" + lv2_ui(0, 5) + value_special(1) + b"\x01" +
          lv2_ui(1, 0, b"\x60\x00") + lv2_ui(0, 1) + lv2_ui(1, 1) + bytes([2]))
    write("fuzz_lv2", "careless-host",
          bytes([0x30]) + bytes([0xFF]) + struct.pack("<I", 70000) + lv2_run(frames_some(16)) +
          bytes([0, 0, 0, 0, 2, 1]) + bytes([1, 1]) + lv2_run(frames_announced(), signal=6) +
          bytes([7, 1]) + value_special(9) + bytes([8, 1]) + bytes([9, 3]) + A_NAN_AT_3 + lv2_run(frames_some(33)) +
          bytes([15, 2]))


if __name__ == "__main__":
    chunk_seeds()
    dispatcher_seeds()
    clap_state_seeds()
    vst3_seeds()
    clap_seeds()
    lv2_seeds()
