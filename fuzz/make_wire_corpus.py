#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_wire (fuzz/corpus/wire/): client byte
streams for the server side of the COM wire, well-formed and malformed.
Run from the repository root after a change of the frame format."""
import os
import struct

OUT = os.path.join(os.path.dirname(__file__), "corpus", "wire")
MAGIC = 0x4D43564B
OBJ = b"OBJECTID"  # replaced by the created object's identifier
TEST_CLSID = (0x6A1C2F30, 0x51B7, 0x4E0D, bytes([0x9C, 0x11, 0x2B, 0x7E, 0x43, 0xD5, 0x80, 0x01]))
IID_DISPATCH = (0x00020400, 0, 0, bytes([0xC0, 0, 0, 0, 0, 0, 0, 0x46]))
IID_UNKNOWN = (0, 0, 0, bytes([0xC0, 0, 0, 0, 0, 0, 0, 0x46]))

HELLO, CREATE, QI, NAMES, INVOKE, RELEASE = 1, 3, 5, 6, 8, 10
VT = dict(EMPTY=0, NULL=1, I2=2, I4=3, R8=5, CY=6, DATE=7, BSTR=8, DISPATCH=9, ERROR=10, BOOL=11,
          VARIANT=12, UI1=17, I8=20, ARRAY=0x2000, BYREF=0x4000)


def frame(kind, body, call=1):
    return struct.pack("<IBBHI", len(body), kind, 0, 0, call) + body


def guid(g):
    return struct.pack("<IHH", g[0], g[1], g[2]) + g[3]


def hello(major=1):
    return frame(HELLO, struct.pack("<IHHI", MAGIC, major, 0, 4242))


def bstr(text):
    if text is None:
        return struct.pack("<I", 0xFFFFFFFF)
    raw = text.encode("utf-16-le")
    return struct.pack("<I", len(raw)) + raw


def i4(v):
    return struct.pack("<Hi", VT["I4"], v)


def string(text):
    return struct.pack("<H", VT["BSTR"]) + bstr(text)


def byref_i4(v):
    return struct.pack("<Hi", VT["BYREF"] | VT["I4"], v)


def array(vt, bounds, payload):
    out = struct.pack("<HBH", VT["ARRAY"] | vt, 1, len(bounds))
    for count, lower in bounds:
        out += struct.pack("<Ii", count, lower)
    return out + payload


def invoke(dispid, args, named=(), flags=1, wants=3, obj=OBJ, call=5):
    body = obj + struct.pack("<iIHBBII", dispid, 0x409, flags, wants, 0, len(args), len(named))
    for n in named:
        body += struct.pack("<i", n)
    for a in reversed(args):  # rgvarg order: last argument first
        body += a
    return frame(INVOKE, body, call)


def names(words, obj=OBJ):
    body = obj + struct.pack("<II", 0x409, len(words))
    for w in words:
        body += bstr(w)
    return frame(NAMES, body, 4)


SEEDS = {
    # option byte 0: raw stream; 1: hello and create come first; bits 1-7: chunking
    "hello_only": (0, hello()),
    "hello_create_release": (0, hello() + frame(CREATE, guid(TEST_CLSID) + guid(IID_UNKNOWN), 2)
                             + frame(RELEASE, b"\x00" * 8, 3)),
    "other_major_version": (0, hello(2)),
    "add": (1, invoke(1, [i4(2), i4(3)])),
    "add_split_in_chunks": (7, invoke(1, [i4(2), i4(3)])),
    "concat_non_ascii_and_null": (1, invoke(2, [string("Gr\u00fc\u00dfe \u20ac"), string(None)])),
    "swap_by_reference": (1, invoke(3, [byref_i4(1), byref_i4(2)])),
    "triple_two_values_one_reference": (1, invoke(16, [i4(1), i4(2), byref_i4(3)])),
    "echo_string_array": (1, invoke(4, [array(VT["BSTR"], [(3, -1)], bstr("a") + bstr(None) + bstr(""))])),
    "echo_2d_shorts": (1, invoke(4, [array(VT["I2"], [(2, 0), (2, 5)], struct.pack("<4h", 1, -2, 3, -4))])),
    "echo_nested_variants": (1, invoke(4, [array(VT["VARIANT"], [(2, 0)],
                                                  i4(7) + array(VT["VARIANT"], [(1, 0)], string("x")))])),
    "sum_array_by_reference_variant": (1, invoke(7, [struct.pack("<H", VT["BYREF"] | VT["VARIANT"])
                                                     + array(VT["I4"], [(3, 0)], struct.pack("<3i", 1, 2, 3))])),
    "make_strings": (1, invoke(6, [i4(50), i4(10)])),
    "make_strings_no_strings_of_huge_length": (1, invoke(6, [i4(0), i4(0x7FFFFFFF)])),
    "optional_named": (1, invoke(8, [i4(5), i4(3)], named=[1])),
    "property_put_get": (1, invoke(10, [i4(9)], named=[-3], flags=4) + invoke(10, [], flags=2, call=6)),
    "failing_member": (1, invoke(9, [i4(-2147467259)])),
    "type_mismatch": (1, invoke(1, [string("x"), i4(1)])),
    "names": (1, names(["Triple", "c", "nope"])),
    "query_interface": (1, frame(QI, OBJ + guid(IID_DISPATCH), 4)),
    "unknown_object": (1, invoke(1, [i4(1), i4(1)], obj=b"\x01" * 8)),
    "malformed_header": (0, b"\xff" * 12),
    "oversized_length": (0, struct.pack("<IBBHI", 0x01000001, INVOKE, 0, 0, 1)),
    "truncated_invoke": (1, invoke(1, [i4(2), i4(3)])[:-3]),
    "request_before_hello": (0, frame(RELEASE, b"\x00" * 8)),
    "bad_variant_type": (1, invoke(4, [struct.pack("<H", 0x0F)])),
    "optional_overflowing_arithmetic": (1, invoke(8, [i4(4194309), i4(5)])),
    "array_count_lie": (1, invoke(4, [struct.pack("<HBHIi", VT["ARRAY"] | VT["VARIANT"], 1, 1, 0x00100000, 0)])),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, (options, stream) in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(bytes([options]) + stream)


if __name__ == "__main__":
    main()
