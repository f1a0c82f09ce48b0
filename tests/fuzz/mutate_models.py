#!/usr/bin/env python3
"""Mutation campaign against a model importer: broken model files, made from
the seeds in tests/fuzz/model-seeds/, each run through a command, to find
the files that crash or hang it.

    mutate_models.py --run 'build/tests/import_probe {}' [--count N] [--seed S]
                     [--seconds-per-file T] [--memory-mb M] [--keep DIR]
                     [--formats obj,ply,...|windows] [--max-seconds T]
    mutate_models.py --run CMD --only INDEX [--seed S]    one mutant again
    mutate_models.py --run CMD --check-seeds              every seed must be read
    mutate_models.py --run CMD --reduce FILE [--out OUT]  shrink a failing file

`{}` in the command is the file. Each run is classified by how the command
ends: ok (exit 0), refused (exit 1), crashed (a signal or any other exit
status) or hung (over the time limit; the whole process group is killed).
A sanitizer report that only says an allocation was too large counts as a
refusal: under the import worker's memory cap that allocation fails as
std::bad_alloc. "passed" is ok plus refused, "failed" crashed plus hung.

The child runs with its address space capped (RLIMIT_AS, --memory-mb, 0 for
none: AddressSanitizer needs --memory-mb 0) and no core files. Mutant i of
seed S is the same on every machine (--only i makes it again). Standard
library only.
"""
import argparse
import json
import os
import random
import re
import resource
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import io

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "model-seeds")

# Extensions of the model files among the seeds; the others (.mtl, .bin) are
# companions, copied beside every mutant.
FORMATS = ["obj", "stl", "ply", "gltf", "glb", "dae", "zae", "off", "3ds", "x", "fbx"]
WINDOWS_FORMATS = ["obj", "stl", "ply", "gltf", "glb"]
TEXT_FORMATS = {"obj", "ply", "gltf", "dae", "off", "x", "fbx", "stl"}

# A mutant larger than this is cut back: deep nesting needs a few hundred KiB.
MAX_MUTANT_BYTES = 4 << 20

INTERESTING_INTS = [0, 1, 2, 3, 7, 8, 127, 128, 255, 256, 32767, 32768, 65535, 65536, 1 << 24, (1 << 31) - 1,
                    1 << 31, (1 << 32) - 1, 1 << 32, (1 << 53) + 1, (1 << 63) - 1, 1 << 63, (1 << 64) - 1, -1, -2,
                    -(1 << 31), 100000, 1000000, 100000000, 2000000000]
INTERESTING_TEXT = [str(n) for n in INTERESTING_INTS] + ["1e38", "-1e38", "1e308", "nan", "inf", "-0", "0.0",
                                                         "4e9", "1.#IND", "", "x", "99999999999999999999999"]
NUMBER = re.compile(rb"-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?")


# ---------------------------------------------------------------------------
# Mutations. Each takes (rng, data: bytes) and returns bytes; the structured
# ones fall back on a generic one when the data is not what they expect.

def flip_bits(rng, data):
    if not data:
        return data
    out = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        out[rng.randrange(len(out))] ^= 1 << rng.randrange(8)
    return bytes(out)


def set_bytes(rng, data):
    if not data:
        return data
    out = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        out[rng.randrange(len(out))] = rng.choice([0, 0xFF, 0x7F, 0x80, 0x20, 0x0A, rng.randrange(256)])
    return bytes(out)


def truncate(rng, data):
    return data[:rng.randrange(len(data))] if data else data


def duplicate_block(rng, data):
    if len(data) < 2:
        return data
    a = rng.randrange(len(data))
    b = min(len(data), a + rng.choice([1, 4, 16, 64, 256, 4096]))
    times = rng.choice([1, 1, 2, 10, 100, 1000])
    at = rng.randrange(len(data) + 1)
    return data[:at] + data[a:b] * times + data[at:]


def delete_block(rng, data):
    if len(data) < 2:
        return data
    a = rng.randrange(len(data))
    return data[:a] + data[a + rng.choice([1, 2, 4, 16, 64, 256]):]


def overwrite_int(rng, data):
    """A 16-, 32- or 64-bit little- or big-endian integer written at random."""
    size, code = rng.choice([(2, "H"), (4, "I"), (8, "Q")])
    if len(data) < size:
        return data
    value = rng.choice(INTERESTING_INTS) % (1 << (8 * size))
    at = rng.randrange(len(data) - size + 1)
    if rng.random() < 0.7:
        at -= at % size
    return data[:at] + struct.pack(rng.choice("<>") + code, value) + data[at + size:]


def replace_number(rng, data):
    """One to three of the text's numbers swapped for awkward ones."""
    numbers = list(NUMBER.finditer(data))
    if not numbers:
        return set_bytes(rng, data)
    out = data
    for m in sorted(rng.sample(numbers, min(len(numbers), rng.randint(1, 3))), key=lambda m: -m.start()):
        old = m.group()
        choice = rng.random()
        if choice < 0.5:
            new = rng.choice(INTERESTING_TEXT).encode()
        elif choice < 0.8 and b"." not in old:
            new = str(int(old) * rng.choice([10, 1000, 1000000]) + rng.choice([0, 1])).encode()
        else:
            new = str(int(float(old)) + rng.choice([-1, 1])).encode()
        out = out[:m.start()] + new + out[m.end():]
    return out


def repeat_line(rng, data):
    """A line repeated many times: 100,000 `o` lines, a long face, ..."""
    lines = data.split(b"\n")
    i = rng.randrange(len(lines))
    times = rng.choice([2, 10, 1000, 10000, 100000])
    line = lines[i]
    if rng.random() < 0.5 and line.strip():
        # Unique copies (names that differ), as 100,000 objects have.
        copies = [NUMBER.sub(b"%d" % n, line, count=1) if NUMBER.search(line) else line + b"%d" % n
                  for n in range(times)]
    else:
        copies = [line] * times
    return b"\n".join(lines[:i] + copies + lines[i + 1:])


def drop_line(rng, data):
    lines = data.split(b"\n")
    del lines[rng.randrange(len(lines))]
    return b"\n".join(lines)


def long_line(rng, data):
    """A line made longer than the fixed line buffers of the text parsers."""
    lines = data.split(b"\n")
    i = rng.randrange(len(lines))
    lines[i] += b" " * rng.choice([4090, 4095, 4096, 8192, 70000]) + b"0"
    return b"\n".join(lines)


GENERIC = [flip_bits, set_bytes, truncate, duplicate_block, delete_block, overwrite_int]
TEXT = [replace_number, replace_number, repeat_line, drop_line, long_line]


# PLY: the header's elements and properties disagree with the data.

PLY_TYPES = [b"char", b"uchar", b"short", b"ushort", b"int", b"uint", b"float", b"double", b"int8", b"uint8",
             b"int32", b"uint32", b"float32", b"float64", b"bogus"]


def ply_parts(data):
    end = data.find(b"end_header")
    if not data.startswith(b"ply") or end < 0:
        return None
    stop = data.find(b"\n", end)
    stop = len(data) if stop < 0 else stop + 1
    return data[:stop].split(b"\n")[:-1], data[stop:]


def ply_header(rng, data):
    parts = ply_parts(data)
    if not parts:
        return replace_number(rng, data)
    lines, body = parts
    elements = [i for i, l in enumerate(lines) if l.startswith(b"element ")]
    properties = [i for i, l in enumerate(lines) if l.startswith(b"property ")]
    kind = rng.choice(["count", "count", "type", "list", "duplicate", "no_end", "format", "order"])
    if kind == "count" and elements:
        i = rng.choice(elements)
        words = lines[i].split()
        words[-1] = str(rng.choice([0, 1, int(words[-1]) + 1, int(words[-1]) * 1000, (1 << 31) - 1,
                                    (1 << 32) - 1, 1 << 32, 4000000000, 100000])).encode()
        lines[i] = b" ".join(words)
    elif kind == "type" and properties:
        i = rng.choice(properties)
        words = lines[i].split()
        words[rng.randrange(1, len(words) - 1)] = rng.choice(PLY_TYPES)
        lines[i] = b" ".join(words)
    elif kind == "list" and properties:
        i = rng.choice(properties)
        words = lines[i].split()
        if words[1] == b"list":
            lines[i] = b" ".join([b"property", rng.choice(PLY_TYPES), words[-1]])
        else:
            lines[i] = b" ".join([b"property list", rng.choice(PLY_TYPES), rng.choice(PLY_TYPES), words[-1]])
    elif kind == "duplicate" and elements:
        # An element declared twice: the arrays are sized by the first.
        i = rng.choice(elements)
        j = i + 1
        while j < len(lines) and lines[j].startswith(b"property "):
            j += 1
        block = lines[i:j]
        copy = [b" ".join(block[0].split()[:-1] + [str(rng.choice([1, 2, 300, 100000])).encode()])] + block[1:]
        lines[j:j] = copy
        if body:
            body += body[-rng.randrange(1, len(body) + 1):] * rng.choice([1, 10, 100])
    elif kind == "no_end":
        lines = [l for l in lines if not l.startswith(b"end_header")]
    elif kind == "format":
        for i, l in enumerate(lines):
            if l.startswith(b"format "):
                lines[i] = b"format " + rng.choice([b"ascii", b"binary_little_endian", b"binary_big_endian",
                                                    b"binary"]) + b" 1.0"
    elif kind == "order" and len(elements) > 1:
        # Faces before the vertices they use.
        i, j = elements[0], elements[1]
        k = j + 1
        while k < len(lines) and lines[k].startswith(b"property "):
            k += 1
        lines[i:k] = lines[j:k] + lines[i:j]
    return b"\n".join(lines) + b"\n" + body


def ply_body(rng, data):
    parts = ply_parts(data)
    if not parts:
        return flip_bits(rng, data)
    lines, body = parts
    ascii = any(l.startswith(b"format ascii") for l in lines)
    mutate = rng.choice(GENERIC + ([replace_number] if ascii else []))
    return b"\n".join(lines) + b"\n" + mutate(rng, body)


# glTF: the JSON's numbers, references and shapes.

def gltf_split(data):
    """(document, rebuild) for a .gltf or a .glb, or None."""
    if data[:4] == b"glTF" and len(data) >= 20:
        length = struct.unpack_from("<I", data, 12)[0]
        try:
            doc = json.loads(data[20:20 + length])
        except ValueError:
            return None
        rest = data[20 + length:]

        def rebuild(d):
            text = json.dumps(d, separators=(",", ":")).encode()
            text += b" " * (-len(text) % 4)
            body = struct.pack("<I4s", len(text), b"JSON") + text + rest
            return struct.pack("<4sII", b"glTF", 2, 12 + len(body)) + body
        return doc, rebuild
    try:
        return json.loads(data), lambda d: json.dumps(d, indent=1).encode()
    except ValueError:
        return None


def json_leaves(node, path=()):
    if isinstance(node, dict):
        for k, v in node.items():
            yield from json_leaves(v, path + (k,))
    elif isinstance(node, list):
        for i, v in enumerate(node):
            yield from json_leaves(v, path + (i,))
    else:
        yield path, node


def json_get(doc, path):
    for p in path:
        doc = doc[p]
    return doc


GLTF_NUMBERS = [0, 1, -1, 3, 4, 12, 35, 36, 37, 96, 255, 1 << 16, (1 << 31) - 1, 1 << 31, (1 << 32) - 1, 1 << 32,
                1 << 40, (1 << 63) - 1, 1 << 63, (1 << 64) - 1, (1 << 64) - 4, (1 << 64) - 36, 1e300, 0.5]


def gltf_mutate(rng, data):
    split = gltf_split(data)
    if not split:
        return replace_number(rng, data)
    doc, rebuild = split
    for _ in range(rng.randint(1, 3)):
        kind = rng.choice(["number", "number", "number", "reference", "cycle", "chain", "sparse", "remove",
                           "type", "duplicate", "uri", "mode"])
        try:
            gltf_one(rng, doc, kind)
        except (KeyError, IndexError, TypeError, ValueError):
            pass
    return rebuild(doc)


def gltf_one(rng, doc, kind):
    nodes = doc.setdefault("nodes", [])
    accessors = doc.get("accessors", [])
    if kind == "number":
        leaves = [(p, v) for p, v in json_leaves(doc) if isinstance(v, (int, float)) and not isinstance(v, bool)]
        path, value = rng.choice(leaves)
        json_get(doc, path[:-1])[path[-1]] = rng.choice(GLTF_NUMBERS + [value + 1, value * 2, value * 1000])
    elif kind == "reference":
        # An index one past its array, or far outside it.
        names = ("bufferView", "buffer", "mesh", "indices", "POSITION", "material", "scene")
        leaves = [(p, v) for p, v in json_leaves(doc) if isinstance(v, int) and not isinstance(v, bool) and
                  (p[-1] in names or (len(p) > 1 and p[-2] in ("nodes", "children")))]
        path, _ = rng.choice(leaves)
        json_get(doc, path[:-1])[path[-1]] = rng.choice([len(nodes), len(accessors), 1 << 31, (1 << 32) - 1])
    elif kind == "cycle" and nodes:
        # A node its own child, or a child its parent's parent.
        i = rng.randrange(len(nodes))
        j = rng.choice([i, 0, len(nodes) - 1])
        nodes[i].setdefault("children", []).append(j)
        if j != i:
            nodes[j].setdefault("children", []).append(i)
    elif kind == "chain":
        depth = rng.choice([100, 1000, 10000, 50000])
        start = len(nodes)
        for k in range(depth):
            nodes.append({"children": [start + k + 1]} if k + 1 < depth else {"mesh": 0})
        doc.setdefault("scenes", [{"nodes": []}])[0].setdefault("nodes", []).append(start)
    elif kind == "sparse" and accessors:
        accessor = rng.choice(accessors)
        sparse = {"count": rng.choice([1, 2, 5, 1000, (1 << 31) - 1])}
        if rng.random() < 0.8:
            sparse["indices"] = {"bufferView": rng.choice([0, 1]), "componentType": rng.choice([5121, 5123, 5125, 5126])}
            if rng.random() < 0.5:
                sparse["indices"]["byteOffset"] = rng.choice(GLTF_NUMBERS)
            if rng.random() < 0.2:
                del sparse["indices"]["bufferView"]
        if rng.random() < 0.8:
            sparse["values"] = {"bufferView": 0}
            if rng.random() < 0.5:
                sparse["values"]["byteOffset"] = rng.choice(GLTF_NUMBERS)
        accessor["sparse"] = sparse
    elif kind == "remove":
        objects = [p for p, _ in json_leaves(doc)]
        path = rng.choice(objects)
        parent = json_get(doc, path[:-1])
        if isinstance(parent, dict):
            del parent[path[-1]]
    elif kind == "type" and accessors:
        accessor = rng.choice(accessors)
        if rng.random() < 0.5:
            accessor["type"] = rng.choice(["SCALAR", "VEC2", "VEC3", "VEC4", "MAT2", "MAT3", "MAT4", "BOGUS"])
        else:
            accessor["componentType"] = rng.choice([5120, 5121, 5122, 5123, 5125, 5126, 0, 5124])
    elif kind == "duplicate":
        arrays = [k for k, v in doc.items() if isinstance(v, list) and v]
        name = rng.choice(arrays)
        doc[name].extend([json.loads(json.dumps(rng.choice(doc[name])))] * rng.choice([1, 10, 1000]))
    elif kind == "uri":
        buffers = doc.get("buffers", [])
        if buffers:
            buffers[0]["uri"] = rng.choice(["mutant.gltf", "missing.bin", "/", "data:", "data:application/octet-stream;base64,",
                                           "data:application/octet-stream;base64,AAAA====", "../../../../etc/passwd",
                                           "data:;base64," + "A" * 7])
    elif kind == "mode":
        for mesh in doc.get("meshes", []):
            for primitive in mesh.get("primitives", []):
                primitive["mode"] = rng.choice([0, 1, 2, 3, 4, 5, 6, 7, -1])


# Collada: deep nesting, nodes that instance themselves, wrong counts.

def dae_mutate(rng, data):
    kind = rng.choice(["nest", "self", "cycle", "count", "count", "library_loop"])
    if kind == "nest" and b"<visual_scene" in data:
        depth = rng.choice([100, 1000, 7000, 20000])
        at = data.find(b">", data.find(b"<visual_scene")) + 1
        return data[:at] + b"<node>" * depth + b"<instance_node url=\"#part\"/>" + b"</node>" * depth + data[at:]
    if kind == "self" and b'<node id="part">' in data:
        return data.replace(b'<node id="part">', b'<node id="part"><instance_node url="#part"/>', 1)
    if kind == "cycle" and b'<node id="root">' in data:
        return data.replace(b'<node id="part">', b'<node id="part"><instance_node url="#root"/>', 1)
    if kind == "library_loop" and b"</library_nodes>" in data:
        depth = rng.choice([2, 10, 1000])
        extra = b"".join(b'<node id="n%d"><instance_node url="#n%d"/><instance_node url="#n%d"/></node>' %
                         (i, (i + 1) % depth, (i + 1) % depth) for i in range(depth))
        data = data.replace(b"</library_nodes>", extra + b"</library_nodes>", 1)
        return data.replace(b'<instance_node url="#part"/>', b'<instance_node url="#n0"/>', 1)
    attributes = list(re.finditer(rb'(count|stride|offset|set)="(\d+)"', data))
    if attributes:
        m = rng.choice(attributes)
        new = str(rng.choice(INTERESTING_INTS + [int(m.group(2)) + 1])).encode()
        return data[:m.start(2)] + new + data[m.end(2):]
    return replace_number(rng, data)


def zae_mutate(rng, data):
    """The Collada inside a .zae, mutated and zipped again."""
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            files = {name: z.read(name) for name in z.namelist()}
    except Exception:  # a zip already broken by an earlier mutation, in any way
        return flip_bits(rng, data)
    for name in files:
        if name.endswith(".dae"):
            files[name] = rng.choice([dae_mutate, dae_mutate, replace_number, repeat_line])(rng, files[name])
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in files.items():
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), content, zipfile.ZIP_DEFLATED)
    return out.getvalue()


# DirectX .x: frames nested deep, counts that lie.

def x_mutate(rng, data):
    if rng.random() < 0.4 and data.startswith(b"xof "):
        depth = rng.choice([100, 1000, 10000, 50000])
        at = data.find(b"\n") + 1
        return data[:at] + b"Frame{" * depth + b"}" * depth + b"\n" + data[at:]
    return replace_number(rng, data)


# OBJ: many objects and groups, indices out of range, odd references.

def obj_mutate(rng, data):
    kind = rng.choice(["objects", "indices", "indices", "mtllib"])
    if kind == "objects":
        count = rng.choice([1000, 10000, 100000])
        word = rng.choice([b"o", b"g", b"usemtl"])
        extra = b"".join(b"%s n%d\nf 1 2 3\n" % (word, i) if rng.random() < 0.5 else b"%s n%d\n" % (word, i)
                         for i in range(count))
        return data + extra
    if kind == "mtllib":
        return re.sub(rb"mtllib \S+", b"mtllib " + rng.choice([b"mutant.obj", b".", b"/dev/zero", b"missing.mtl"]),
                      data, count=1)
    faces = [m for m in re.finditer(rb"^f .*$", data, re.M)]
    if not faces:
        return replace_number(rng, data)
    m = rng.choice(faces)
    return data[:m.start()] + replace_number(rng, m.group()) + data[m.end():]


# 3DS: chunk lengths, counts and nesting.

def chunks_3ds(data, start, end, depth=0, out=None):
    """Offsets of the chunks between start and end, nested ones too."""
    out = [] if out is None else out
    at = start
    while at + 6 <= end and depth < 8:
        tag, size = struct.unpack_from("<HI", data, at)
        if size < 6 or at + size > end:
            break
        out.append((at, tag, size))
        if tag in (0x4D4D, 0x3D3D, 0x4100, 0xB000, 0xB002, 0xAFFF):
            chunks_3ds(data, at + 6, at + size, depth + 1, out)
        elif tag == 0x4000:
            name_end = data.find(b"\0", at + 6, at + size)
            if name_end >= 0:
                chunks_3ds(data, name_end + 1, at + size, depth + 1, out)
        at += size
    return out


def three_ds_mutate(rng, data):
    chunks = chunks_3ds(data, 0, len(data))
    if not chunks:
        return overwrite_int(rng, data)
    at, tag, size = rng.choice(chunks)
    kind = rng.choice(["length", "length", "count", "nest", "duplicate"])
    if kind == "length":
        value = rng.choice([0, 5, 6, size - 1, size + 1, size + 1000, 0x7FFFFFFF, 0xFFFFFFFF])
        return data[:at + 2] + struct.pack("<I", value % (1 << 32)) + data[at + 6:]
    if kind == "count" and size >= 8:
        value = rng.choice([0, 1, 0x7FFF, 0xFFFF])
        return data[:at + 6] + struct.pack("<H", value) + data[at + 8:]
    if kind == "nest":
        # The chunk wrapped in many copies of itself.
        body = data[at:at + size]
        for _ in range(rng.choice([10, 100, 1000])):
            body = struct.pack("<HI", tag, 6 + len(body)) + body
            if len(body) > MAX_MUTANT_BYTES // 2:
                break
        return data[:at] + body + data[at + size:]
    return data[:at + size] + data[at:at + size] * rng.choice([2, 100]) + data[at + size:]


# FBX (ASCII): counts of the arrays, deep scopes, objects connected to themselves.

def fbx_mutate(rng, data):
    kind = rng.choice(["array", "nest", "self", "number", "number"])
    arrays = list(re.finditer(rb"\*(\d+)", data))
    if kind == "array" and arrays:
        m = rng.choice(arrays)
        return data[:m.start(1)] + str(rng.choice(INTERESTING_INTS[:20])).encode() + data[m.end(1):]
    if kind == "nest" and b"Objects:" in data:
        depth = rng.choice([100, 1000, 10000, 50000])
        at = data.find(b"{", data.find(b"Objects:")) + 1
        return data[:at] + b"\nA: {" * depth + b"}" * depth + data[at:]
    if kind == "self":
        ids = re.findall(rb"C: \"OO\",(\d+),(\d+)", data)
        if ids:
            a, b = rng.choice(ids)
            return data.replace(b"Connections:  {", b"Connections:  {\n\tC: \"OO\",%s,%s" %
                                (rng.choice([a, b]), rng.choice([a, b])), 1)
    return replace_number(rng, data)


# STL: the binary face count, or ASCII that lies.

def stl_mutate(rng, data):
    if len(data) >= 84 and not data.startswith(b"solid"):
        value = rng.choice([0, 1, 7, 1 << 20, (1 << 31) - 1, (1 << 32) - 1, (len(data) - 84) // 50 + 1])
        return data[:80] + struct.pack("<I", value) + data[84:]
    return rng.choice(TEXT)(rng, data)


def off_mutate(rng, data):
    lines = data.split(b"\n")
    if len(lines) > 2 and rng.random() < 0.5:
        lines[1] = b" ".join(str(rng.choice([0, 1, 5, 6, 1 << 20, 2000000000, (1 << 32) - 1, 4294967296])).encode()
                             for _ in range(3))
        return b"\n".join(lines)
    if rng.random() < 0.3:
        # Faces of no corners, which make the face count go down.
        return data + b"0\n" * rng.choice([1, 2, 10])
    return replace_number(rng, data)


STRUCTURED = {
    "ply": [ply_header, ply_header, ply_body],
    "gltf": [gltf_mutate, gltf_mutate],
    "glb": [gltf_mutate, gltf_mutate],
    "dae": [dae_mutate, dae_mutate],
    "zae": [zae_mutate, zae_mutate, zae_mutate],
    "x": [x_mutate, x_mutate],
    "obj": [obj_mutate],
    "3ds": [three_ds_mutate, three_ds_mutate],
    "fbx": [fbx_mutate, fbx_mutate],
    "stl": [stl_mutate],
    "off": [off_mutate, off_mutate],
}


def mutate(rng, data, fmt):
    """One to three mutations, structured ones most of the time; returns the
    mutant and the names of what was done."""
    done = []
    for _ in range(rng.choice([1, 1, 1, 2, 3])):
        pool = STRUCTURED.get(fmt, []) * 2 + GENERIC + (TEXT if fmt in TEXT_FORMATS else [])
        f = rng.choice(pool)
        try:
            data = f(rng, data)[:MAX_MUTANT_BYTES]
        except (ValueError, IndexError, KeyError, TypeError, struct.error, zipfile.BadZipFile):
            # Structure an earlier mutation broke beyond parsing: bits instead.
            f = flip_bits
            data = f(rng, data)
        done.append(f.__name__)
    return data, done


# ---------------------------------------------------------------------------
# Running one file.

SANITIZER_SUMMARY = re.compile(r"SUMMARY: (\w+Sanitizer): ([\w-]+)")
SANITIZER_FRAME = re.compile(r"#\d+ 0x[0-9a-f]+ in (.*)")
# Reports that only say an allocation could not be made: a bad_alloc under a cap.
MEMORY_KINDS = {"allocation-size-too-big", "out-of-memory", "rss-limit-exceeded", "calloc-overflow",
                "allocation-elements-too-big", "malloc-limit-exceeded"}
# Frames of the run time and the standard library: the culprit is below them.
RUNTIME_FRAMES = re.compile(r"^(void )?(__interceptor_|__asan|__sanitizer|operator |__GI_|__memcpy|__memmove|memcpy|"
                            r"memmove|memset|strlen|__libc|__strlen|__pthread|raise|abort|std::|__gnu_cxx::|"
                            r"__cxxabiv1|__cxa_|_Unwind|rapidjson::)")


class Outcome:
    def __init__(self, kind, detail, seconds):
        self.kind = kind  # ok, refused, crashed, hung
        self.detail = detail  # "signal 11 SIGSEGV", "AddressSanitizer: heap-buffer-overflow in F", ...
        self.seconds = seconds

    @property
    def failed(self):
        return self.kind in ("crashed", "hung")

    def signature(self):
        return "%s %s" % (self.kind, self.detail)


def run_one(command, path, seconds, memory_mb):
    args = [path if a == "{}" else a.replace("{}", path) for a in shlex.split(command)]
    env = dict(os.environ)
    # Leaks are not what we look for; a report must not look like a refusal.
    env.setdefault("ASAN_OPTIONS", "detect_leaks=0:exitcode=86:handle_abort=1")
    env.setdefault("UBSAN_OPTIONS", "exitcode=87")

    def limits():
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        if memory_mb:
            cap = memory_mb << 20
            resource.setrlimit(resource.RLIMIT_AS, (cap, cap))

    start = time.monotonic()
    with tempfile.TemporaryFile() as errors:
        try:
            child = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=errors,
                                     preexec_fn=limits, start_new_session=True, env=env)
        except OSError as e:
            sys.exit("cannot run %s: %s" % (args[0], e))
        try:
            status = child.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            return Outcome("hung", "over %g s" % seconds, time.monotonic() - start)
        elapsed = time.monotonic() - start
        errors.seek(0)
        text = errors.read()[-200000:].decode("utf-8", "replace")
    report = sanitizer_report(text)
    if status == 0:
        return Outcome("ok", "", elapsed)
    if status == 1:
        return Outcome("refused", "", elapsed)
    if report and report[1] in MEMORY_KINDS:
        return Outcome("refused", "%s: %s (too large an allocation)" % report[:2], elapsed)
    if report:
        return Outcome("crashed", "%s: %s in %s" % report, elapsed)
    if status < 0:
        try:
            name = signal.Signals(-status).name
        except ValueError:
            name = "?"
        return Outcome("crashed", "signal %d %s" % (-status, name), elapsed)
    return Outcome("crashed", "exit %d" % status, elapsed)


def frame_name(text):
    """`Ns::f(args) /path/file.cpp:12:3` -> `Ns::f (file.cpp:12)`."""
    where = ""
    m = re.search(r" (/\S+?):(\d+)(:\d+)?$", text)
    if m:
        where = " (%s:%s)" % (os.path.basename(m.group(1)), m.group(2))
        text = text[:m.start()]
    text = re.sub(r"\(anonymous namespace\)", "{anon}", text)
    depth = 0
    for i, c in enumerate(text):
        depth += c == "<"
        depth -= c == ">"
        if c == "(" and depth == 0 and i > 0:
            text = text[:i]
            break
    return text + where


def sanitizer_report(text):
    """(sanitizer, kind, the frame to blame) or None. The frame is the first
    one outside the run time and the standard library; for a stack overflow,
    the function that recurs most among the first frames."""
    m = SANITIZER_SUMMARY.search(text)
    if not m:
        return None
    start = max(text.find("ERROR: " + m.group(1)), 0)
    frames = []
    for f in SANITIZER_FRAME.finditer(text, start):
        line = f.group(1)
        if "allocated by thread" in text[start:f.start()] or "freed by thread" in text[start:f.start()]:
            break
        if not RUNTIME_FRAMES.match(line):
            frames.append(frame_name(line))
        if len(frames) >= 60:
            break
    if not frames:
        return m.group(1), m.group(2), "?"
    if m.group(2) == "stack-overflow":
        names = [f.split(" (")[0] for f in frames]
        return m.group(1), m.group(2), max(names, key=names.count)
    return m.group(1), m.group(2), frames[0]


# ---------------------------------------------------------------------------
# The campaign.

def seed_files(formats):
    models, companions = [], []
    for name in sorted(os.listdir(SEEDS)):
        ext = name.rsplit(".", 1)[-1].lower()
        (models if ext in FORMATS else companions).append(name)
    return [m for m in models if m.rsplit(".", 1)[-1].lower() in formats], companions


def make_mutant(seed, index, models):
    rng = random.Random("%d:%d" % (seed, index))
    name = rng.choice(models)
    with open(os.path.join(SEEDS, name), "rb") as f:
        data = f.read()
    fmt = name.rsplit(".", 1)[-1].lower()
    mutant, done = mutate(rng, data, fmt)
    return name, fmt, mutant, done


def parse_formats(text):
    if text in ("all", ""):
        return FORMATS
    if text == "windows":
        return WINDOWS_FORMATS
    formats = [f.strip().lower().lstrip(".") for f in text.split(",") if f.strip()]
    unknown = [f for f in formats if f not in FORMATS]
    if unknown:
        sys.exit("unknown formats: %s (known: %s, or windows)" % (", ".join(unknown), ", ".join(FORMATS)))
    return formats


def campaign(args):
    formats = parse_formats(args.formats)
    models, companions = seed_files(formats)
    if not models:
        sys.exit("no seeds in %s for %s" % (SEEDS, ", ".join(formats)))
    work = tempfile.mkdtemp(prefix="mutate-models-")
    for name in companions:
        shutil.copy(os.path.join(SEEDS, name), work)
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        for name in companions:
            shutil.copy(os.path.join(SEEDS, name), args.keep)
    counts = {"ok": 0, "refused": 0, "crashed": 0, "hung": 0}
    failures = []
    signatures = {}
    started = time.monotonic()
    indices = [args.only] if args.only is not None else range(args.count)
    run = 0
    try:
        for index in indices:
            if args.max_seconds and time.monotonic() - started > args.max_seconds:
                print("time budget of %g s spent after %d mutants" % (args.max_seconds, run))
                break
            name, fmt, data, done = make_mutant(args.seed, index, models)
            path = os.path.join(work, "mutant." + fmt)
            with open(path, "wb") as f:
                f.write(data)
            outcome = run_one(args.run, path, args.seconds_per_file, args.memory_mb)
            counts[outcome.kind] += 1
            run += 1
            if outcome.failed or args.only is not None:
                label = "%05d-%s-%s.%s" % (index, name.rsplit(".", 1)[0], done[0], fmt)
                kept = path
                if args.keep and outcome.failed:
                    kept = os.path.join(args.keep, label)
                    shutil.copy(path, kept)
                if outcome.failed:
                    failures.append((label, kept, outcome, done))
                    first = outcome.signature() not in signatures
                    signatures.setdefault(outcome.signature(), []).append(label)
                print("%s %-7s %s (%s; %.1f s)%s" % (label, outcome.kind, outcome.detail, "+".join(done),
                                                     outcome.seconds, "  [new]" if outcome.failed and first else ""),
                      flush=True)
            if args.progress and run % args.progress == 0:
                print("... %d mutants, %d failed, %.0f s" % (run, counts["crashed"] + counts["hung"],
                                                            time.monotonic() - started), flush=True)
    finally:
        if not args.keep_work:
            shutil.rmtree(work, ignore_errors=True)
    print("ok %d, refused %d, crashed %d, hung %d in %.0f s (seed %d, formats %s)" % (
        counts["ok"], counts["refused"], counts["crashed"], counts["hung"], time.monotonic() - started, args.seed,
        ",".join(formats)))
    if signatures:
        print("distinct failures:")
        for sig, labels in sorted(signatures.items(), key=lambda s: -len(s[1])):
            print("  %4d x %s (first: %s)" % (len(labels), sig, labels[0]))
    passed = counts["ok"] + counts["refused"]
    print("%d passed, %d failed" % (passed, len(failures)))
    for label, kept, outcome, _ in failures:
        print("FAILED %s: %s %s" % (kept if args.keep else label, outcome.kind, outcome.detail))
    return 1 if failures else 0


def check_seeds(args):
    models, companions = seed_files(parse_formats(args.formats))
    bad = 0
    for name in models:
        outcome = run_one(args.run, os.path.join(SEEDS, name), args.seconds_per_file, args.memory_mb)
        print("%-28s %s %s" % (name, outcome.kind, outcome.detail))
        bad += outcome.kind != "ok"
    print("%d passed, %d failed" % (len(models) - bad, bad))
    return 1 if bad else 0


# ---------------------------------------------------------------------------
# Reduction: the smallest file found that fails the same way.

def reduce_file(args):
    with open(args.reduce, "rb") as f:
        data = f.read()
    ext = args.reduce.rsplit(".", 1)[-1]
    work = tempfile.mkdtemp(prefix="reduce-models-")
    for name in seed_files(FORMATS)[1]:
        shutil.copy(os.path.join(SEEDS, name), work)
    path = os.path.join(work, "reduced." + ext)
    trials = [0]

    def outcome_of(candidate):
        with open(path, "wb") as f:
            f.write(candidate)
        trials[0] += 1
        return run_one(args.run, path, args.seconds_per_file, args.memory_mb)

    target = outcome_of(data)
    if not target.failed:
        sys.exit("%s does not fail (%s): nothing to reduce" % (args.reduce, target.kind))
    # The same kind of failure; for a sanitizer report, the same kind of report.
    want = target.signature() if "Sanitizer" in target.detail else target.kind
    print("reducing %s (%d bytes): %s" % (args.reduce, len(data), target.signature()))

    def same(candidate):
        o = outcome_of(candidate)
        return (o.signature() if "Sanitizer" in o.detail else o.kind) == want

    # Pieces: lines for text, bytes for binary data; halves first, then smaller.
    text = ext.lower() in TEXT_FORMATS and b"\0" not in data[:4096]
    pieces = data.split(b"\n") if text else [data[i:i + 1] for i in range(len(data))]
    join = (lambda p: b"\n".join(p)) if text else (lambda p: b"".join(p))
    chunk = max(1, len(pieces) // 2)
    while chunk >= 1 and trials[0] < args.max_trials:
        at, changed = 0, False
        while at < len(pieces) and trials[0] < args.max_trials:
            candidate = pieces[:at] + pieces[at + chunk:]
            if candidate and same(join(candidate)):
                pieces, changed = candidate, True
            else:
                at += chunk
        if not changed:
            chunk //= 2
    out = args.out or args.reduce + ".reduced"
    with open(out, "wb") as f:
        f.write(join(pieces))
    shutil.rmtree(work, ignore_errors=True)
    print("%d bytes after %d runs: %s" % (len(join(pieces)), trials[0], out))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--run", required=True, help="the command, {} standing for the file")
    parser.add_argument("--count", type=int, default=1000, help="mutants to make (default 1000)")
    parser.add_argument("--seed", type=int, default=1, help="of the random generator (default 1)")
    parser.add_argument("--seconds-per-file", type=float, default=10, help="time limit of one run (default 10)")
    parser.add_argument("--memory-mb", type=int, default=4096, help="address space of one run (default 4096; 0: none)")
    parser.add_argument("--keep", help="folder to copy the failing mutants into")
    parser.add_argument("--formats", default="all", help="comma-separated extensions, 'windows' or 'all'")
    parser.add_argument("--max-seconds", type=float, default=0, help="stop the campaign after this long")
    parser.add_argument("--progress", type=int, default=0, help="a progress line every N mutants")
    parser.add_argument("--only", type=int, help="make and run mutant INDEX only")
    parser.add_argument("--keep-work", action="store_true", help="leave the working folder")
    parser.add_argument("--check-seeds", action="store_true", help="run every seed instead (each must be ok)")
    parser.add_argument("--reduce", metavar="FILE", help="shrink FILE, keeping its failure")
    parser.add_argument("--out", help="where --reduce writes (default FILE.reduced)")
    parser.add_argument("--max-trials", type=int, default=2000, help="runs --reduce may make (default 2000)")
    args = parser.parse_args()
    if args.reduce:
        return reduce_file(args)
    if args.check_seeds:
        return check_seeds(args)
    return campaign(args)


if __name__ == "__main__":
    sys.exit(main())
