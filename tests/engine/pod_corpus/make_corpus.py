#!/usr/bin/env python3
"""Writes the hostile POD files of this folder: run it here after changing it.

Files named accept_*.pod are odd but sound and must load; keep_*.pod are damaged
after or around sound items, which must load (the damage logged as "bad chunk",
`podtool list` warning that the header's item count was not reached); every other
file must be refused by the reader (null, "bad chunk" logged) and by `podtool list`.
Truncations at every offset are made by the test itself from a full pod.
"""
import glob
import os
import struct


def i32(*vs):
    return b"".join(struct.pack("<i", v) for v in vs)


def u32(*vs):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in vs)


def i16(*vs):
    return b"".join(struct.pack("<h", v) for v in vs)


def f32(*vs):
    return b"".join(struct.pack("<f", v) for v in vs)


def header(name=b"hostile", count=1):
    return b"CPOD" + i32(68, 1) + name.ljust(32, b"\0")[:32] + i32(count) + bytes(28)


MATERIAL = b"CMAT" + i32(96) + bytes(96)
# A sound LZ4 block: one literal-only sequence of the four bytes "abcd".
LZ4_ABCD = bytes([0x40]) + b"abcd"


def bitmap(w, h, bpp, pixels=None, compressed=False, block=None, clen=None):
    body = i32(w, h, bpp, 0, 0)
    if compressed:
        block = block if block is not None else b""
        body += i32(len(block) if clen is None else clen) + block
        return b"cBMP" + i32(20) + body
    return b"CBMP" + i32(20) + body + (pixels if pixels is not None else b"")


def voxmap(w, h, d, data=b""):
    return b"CVMP" + i32(20) + i32(w, h, d, 0, 0) + data


def file_item(length, data=b"", compressed=False, clen=None, name=b"f"):
    body = i32(length) + name.ljust(64, b"\0")
    if compressed:
        body += i32(len(data) if clen is None else clen) + data
        return b"cFIL" + i32(0) + body
    return b"CFIL" + i32(0) + body + data


def synth(nodes, wave=0, params=8, node_list=None):
    body = i32(100, 1, 1, 0, nodes)
    for _ in range(node_list if node_list is not None else max(nodes, 0)):
        body += i32(1, 0, 0, 0, wave) + bytes(max(wave, 0)) + i32(params) + bytes(12 * 8)
    return b"CSYN" + i32(0) + body


def model(V, P, B, verts=None, polys=b"", bone_block=b""):
    if verts is None:
        verts = b"".join(f32(float(v), float(v * 2), 0.0) for v in range(max(V, 0)))
    return b"CMOD" + i32(0) + i32(V, P, B) + verts + polys + bone_block


def poly(indices, count=None):
    n = len(indices) if count is None else count
    return i16(n, 0, 0) + b"".join(i32(i) + f32(0.0, 0.0) for i in indices)


def channel(n, size, states=None):
    if n <= 0:
        return i32(n)
    return i32(n) + (states if states is not None else bytes(n * size)) + i32(*range(n)) + bytes(4 * n)


def actor(extra=0, channels=None):
    body = b"a".ljust(32, b"\0") + b"b".ljust(32, b"\0") + i32(-1, -1, -1, 0, extra, 0, 0, 0, 0)
    if channels is None:
        channels = channel(0, 12) * 3 + channel(0, 16) * max(extra, 0) + channel(0, 24)
    return body + channels


def anim(actors, actor_bytes=b""):
    return b"CANI" + i32(0) + i32(actors, 0, 0) + bytes(20) + actor_bytes


def sound(count, bits, size, data=b""):
    return b"CSND" + i32(size) + i32(count, bits, 22050, 1, 0, 0) + data


CASES = {
    # unknown chunks and the skip
    "keep_unknown_negative_size": header(count=2) + MATERIAL + b"ABCD" + i32(-8) + bytes(8),
    "keep_unknown_huge_size": header(count=2) + MATERIAL + b"ABCD" + i32(0x7FFFFFFF) + bytes(8),
    "keep_unknown_size_past_end": header(count=2) + MATERIAL + b"ABCD" + i32(64) + bytes(8),
    "truncated_header": header()[:40],
    "keep_trailing_partial_chunk": header(count=2) + MATERIAL + b"CM",
    # a refused chunk with a meaningful size field is passed over; one without ends the pod
    "keep_bmp_bad_depth_passed_over": header(count=3) + MATERIAL
    + b"CBMP" + i32(28) + i32(2, 2, 16, 0, 0) + bytes(8) + MATERIAL,
    "keep_model_damage_ends_pod": header(count=3) + MATERIAL + model(-1, 0, 0) + MATERIAL,
    "truncated_material": header() + MATERIAL[:60],
    # bitmaps
    "bmp_negative_width": header() + bitmap(-4, 4, 8, bytes(16)),
    "bmp_zero_height": header() + bitmap(4, 0, 8),
    "bmp_size_overflow": header() + bitmap(0x10000, 0x10000, 32, bytes(64)),
    "bmp_bpp_16": header() + bitmap(2, 2, 16, bytes(8)),
    "bmp_bpp_negative": header() + bitmap(2, 2, -8, bytes(8)),
    "bmp_bpp_24": header() + bitmap(2, 2, 24, bytes(12)),
    "bmp_pixels_past_end": header() + bitmap(100, 100, 32, bytes(100)),
    "cbmp_negative_length": header() + bitmap(2, 2, 8, compressed=True, block=LZ4_ABCD, clen=-5),
    "cbmp_huge_length": header() + bitmap(2, 2, 8, compressed=True, block=LZ4_ABCD, clen=0x40000000),
    "cbmp_ratio_lie": header() + bitmap(4096, 4096, 32, compressed=True, block=LZ4_ABCD),
    "cbmp_short_block": header() + bitmap(5, 1, 8, compressed=True, block=LZ4_ABCD),
    "cbmp_long_block": header() + bitmap(3, 1, 8, compressed=True, block=LZ4_ABCD),
    "cbmp_garbage_block": header() + bitmap(8, 8, 8, compressed=True, block=bytes([0xFF] * 12)),
    "cbmp_bad_offset": header() + bitmap(16, 1, 8, compressed=True,
                                         block=bytes([0x1F]) + b"a" + u32(0xFFFF)[:2] + bytes([0x50]) + b"abcde"),
    # voxel maps
    "vmp_negative_depth": header() + voxmap(2, 2, -1),
    "vmp_zero_width": header() + voxmap(0, 2, 2),
    "vmp_size_overflow": header() + voxmap(0x800, 0x800, 0x800, bytes(16)),
    "vmp_voxels_past_end": header() + voxmap(8, 8, 8, bytes(100)),
    # file items
    "fil_negative_length": header() + file_item(-1, b"abc"),
    "fil_huge_length": header() + file_item(0x7FFFFFF0, b"abc"),
    "cfil_damaged_block": header() + file_item(4, bytes([0x40, 0x61]) + bytes([0xF0] * 6), compressed=True),
    "cfil_length_mismatch": header() + file_item(6, LZ4_ABCD, compressed=True),
    "cfil_negative_block": header() + file_item(4, LZ4_ABCD, compressed=True, clen=-1),
    # sounds
    "snd_count_overflow_bad_size": header() + sound(0x7FFFFFFF, 16, -100),
    "snd_samples_past_end": header() + sound(1000, 16, 24 + 2000, bytes(10)),
    "snd_bad_bits_negative_size": header() + sound(4, 12, -4),
    # synths
    "syn_33_nodes": header() + synth(33),
    "syn_negative_nodes": header() + synth(-1),
    "syn_wave_65": header() + synth(1, wave=65),
    "syn_wave_negative": header() + synth(1, wave=-1),
    "syn_params_7": header() + synth(1, params=7),
    "syn_params_huge": header() + synth(1, params=0x7FFFFFFF),
    "syn_nodes_past_end": header() + synth(4, node_list=1),
    # models
    "mod_negative_vertices": header() + model(-1, 0, 0),
    "mod_huge_vertices": header() + model(0x7FFFFFFF, 0, 0, verts=b""),
    "mod_bones_over_polygons": header() + model(2, 1, 2, polys=poly([0, 1])),
    "mod_negative_bones": header() + model(2, 1, -1, polys=poly([0, 1])),
    "mod_bones_over_32767": header() + model(2, 40000, 40000, polys=poly([0, 1])),
    "mod_negative_polygon_count": header() + model(3, 1, 0, polys=poly([0, 1, 2], count=-3)),
    "mod_index_out_of_range": header() + model(3, 1, 0, polys=poly([0, 1, 3])),
    "mod_index_negative": header() + model(3, 1, 0, polys=poly([0, -1, 2])),
    "mod_bone_with_one_vertex": header() + model(3, 1, 1, polys=poly([0]), bone_block=bytes(8 * 3)),
    "mod_polygons_past_end": header() + model(3, 100, 0, polys=poly([0, 1, 2])),
    "mod_bone_block_missing": header() + model(3, 1, 1, polys=poly([0, 1])),
    # animations
    "ani_negative_actors": header() + anim(-1),
    "ani_huge_actors": header() + anim(0x7FFFFFFF, actor()),
    "ani_negative_extra": header() + anim(1, actor(extra=-2)),
    "ani_huge_extra": header() + anim(1, actor(extra=0x10000000, channels=bytes(64))),
    "ani_negative_states": header() + anim(1, actor(channels=channel(0, 12) * 2 + i32(-1))),
    "ani_huge_states": header() + anim(1, actor(channels=i32(0x7FFFFFFF) + bytes(40))),
    "ani_states_past_end": header() + anim(1, actor(channels=i32(50) + bytes(100))),
    # sound data, odd but sound: these load
    "accept_bone_cycle": header() + model(
        3, 3, 2,
        polys=poly([0, 1]) + poly([1, 0]) + poly([0, 1, 2]),
        bone_block=i16(0, 1) + f32(0.5) + i16(1, 0) + f32(1.0) + i16(5, 5) + f32(0.0)),
    "accept_self_parent_bone": header() + model(2, 1, 1, polys=poly([0, 0]),
                                                bone_block=(i16(0, 0) + f32(1.0)) * 2),
    "accept_zero_length_bone": header() + model(1, 1, 1, polys=poly([0, 0]), bone_block=i16(0, 0) + f32(1.0)),
    "accept_unknown_then_material": header() + b"ABCD" + i32(4) + bytes(4) + MATERIAL,
    "accept_lz4_block": header() + bitmap(2, 2, 8, compressed=True, block=LZ4_ABCD),
    "accept_sound_bad_bits_skipped": header() + sound(4, 12, 24 + 6, bytes(6)) + MATERIAL,
    "accept_empty_channels": header() + anim(2, actor(extra=3) + actor()),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for old in glob.glob(os.path.join(here, "*.pod")):
        os.remove(old)
    for name, data in sorted(CASES.items()):
        with open(os.path.join(here, name + ".pod"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
