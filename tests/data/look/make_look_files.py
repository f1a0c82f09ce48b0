"""Writes the small models of tests/data/look/: a checker-textured cube as
glTF (buffer and image as data URIs) and as .glb (the image in the binary
chunk), a vertex-coloured PLY, an OBJ+MTL with two materials whose texture
is named the Windows way, and an OBJ whose texture is missing.

    python3 tests/data/look/make_look_files.py
"""

import base64
import json
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(width, height, pixel):
    """An RGB PNG, pixel(x, y) -> (r, g, b), the top row first."""
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def checker(x, y):
    """8 x 8 cells of yellow and blue; the top left cell red, so that a
    picture shows which way up the texture is."""
    cx, cy = x // 8, y // 8
    if cx == 0 and cy == 0:
        return (230, 30, 30)
    return (240, 200, 40) if (cx + cy) % 2 == 0 else (40, 70, 200)


CHECKER = png(64, 64, checker)

# A cube, four corners per face so that each face has the whole texture.
FACES = [  # corners counter-clockwise seen from outside
    [(-1, -1, 1), (1, -1, 1), (1, 1, 1), (-1, 1, 1)],
    [(1, -1, -1), (-1, -1, -1), (-1, 1, -1), (1, 1, -1)],
    [(1, -1, 1), (1, -1, -1), (1, 1, -1), (1, 1, 1)],
    [(-1, -1, -1), (-1, -1, 1), (-1, 1, 1), (-1, 1, -1)],
    [(-1, 1, 1), (1, 1, 1), (1, 1, -1), (-1, 1, -1)],
    [(-1, -1, -1), (1, -1, -1), (1, -1, 1), (-1, -1, 1)],
]
# glTF's texture coordinates: v = 0 at the image's top.
GLTF_UV = [(0, 1), (1, 1), (1, 0), (0, 0)]


def gltf_cube(image_uri=None, image_view=False):
    positions, normals, uvs, indices = b"", b"", b"", b""
    for f, corners in enumerate(FACES):
        a, b, c = corners[0], corners[1], corners[2]
        u = [b[i] - a[i] for i in range(3)]
        v = [c[i] - a[i] for i in range(3)]
        n = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
        length = sum(x * x for x in n) ** 0.5
        for k, p in enumerate(corners):
            positions += struct.pack("<3f", *p)
            normals += struct.pack("<3f", *(x / length for x in n))
            uvs += struct.pack("<2f", *GLTF_UV[k])
        base = 4 * f
        indices += struct.pack("<6H", base, base + 1, base + 2, base, base + 2, base + 3)
    data = positions + normals + uvs + indices
    views = [
        {"buffer": 0, "byteOffset": 0, "byteLength": len(positions)},
        {"buffer": 0, "byteOffset": len(positions), "byteLength": len(normals)},
        {"buffer": 0, "byteOffset": len(positions) + len(normals), "byteLength": len(uvs)},
        {"buffer": 0, "byteOffset": len(positions) + len(normals) + len(uvs), "byteLength": len(indices)},
    ]
    image = {"uri": image_uri} if image_uri else {}
    if image_view:
        while len(data) % 4:
            data += b"\0"
        views.append({"buffer": 0, "byteOffset": len(data), "byteLength": len(CHECKER)})
        data += CHECKER
        image = {"bufferView": 4, "mimeType": "image/png"}
    while len(data) % 4:
        data += b"\0"
    doc = {
        "asset": {"version": "2.0"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        # Turned, so that three faces show.
        "nodes": [{"mesh": 0, "rotation": [0.2, 0.35, 0.0, 0.915]}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2}, "indices": 3,
                                    "material": 0}]}],
        "materials": [{"pbrMetallicRoughness": {"baseColorTexture": {"index": 0}, "metallicFactor": 0.0}}],
        "textures": [{"source": 0}],
        "images": [image],
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": 24, "type": "VEC3", "min": [-1, -1, -1],
             "max": [1, 1, 1]},
            {"bufferView": 1, "componentType": 5126, "count": 24, "type": "VEC3"},
            {"bufferView": 2, "componentType": 5126, "count": 24, "type": "VEC2"},
            {"bufferView": 3, "componentType": 5123, "count": 36, "type": "SCALAR"},
        ],
        "bufferViews": views,
        "buffers": [{"byteLength": len(data)}],
    }
    return doc, data


def turned(p):
    """Turned about y, then tilted towards the viewer, so that three faces show."""
    c, s = math.cos(0.6), math.sin(0.6)
    x, y, z = c * p[0] + s * p[2], p[1], -s * p[0] + c * p[2]
    c, s = math.cos(0.45), math.sin(0.45)
    return (x, c * y - s * z, s * y + c * z)


def write(name, data):
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(os.path.join(HERE, name), mode) as f:
        f.write(data)


def main():
    doc, data = gltf_cube(image_uri="data:image/png;base64," + base64.b64encode(CHECKER).decode())
    doc["buffers"][0]["uri"] = "data:application/octet-stream;base64," + base64.b64encode(data).decode()
    write("checker-cube.gltf", json.dumps(doc, indent=1) + "\n")

    doc, data = gltf_cube(image_view=True)
    text = json.dumps(doc).encode()
    while len(text) % 4:
        text += b" "
    body = struct.pack("<II", len(text), 0x4E4F534A) + text + struct.pack("<II", len(data), 0x004E4942) + data
    write("checker-cube.glb", struct.pack("<III", 0x46546C67, 2, 12 + len(body)) + body)

    # A pyramid of four coloured corners and a white apex.
    ply = ["ply", "format ascii 1.0", "element vertex 5", "property float x", "property float y",
           "property float z", "property uchar red", "property uchar green", "property uchar blue",
           "element face 5", "property list uchar int vertex_indices", "end_header",
           *("%.4f %.4f %.4f %s" % (turned(p) + (c,)) for p, c in [
               ((-1, -1, -1), "255 0 0"), ((1, -1, -1), "0 255 0"), ((1, -1, 1), "0 0 255"),
               ((-1, -1, 1), "255 255 0"), ((0, 1.2, 0), "255 255 255")]),
           "4 0 1 2 3", "3 0 4 1", "3 1 4 2", "3 2 4 3", "3 3 4 0"]
    write("coloured-pyramid.ply", "\n".join(ply) + "\n")

    # Two materials: the right and top faces a plain red, the rest the
    # checker, named as a file written on Windows names it.
    os.makedirs(os.path.join(HERE, "textures"), exist_ok=True)
    write(os.path.join("textures", "checker.png"), CHECKER)
    obj = ["mtllib two-materials.mtl"]
    for corners in FACES:
        for p in corners:
            obj.append("v %.4f %.4f %.4f" % turned(p))
    obj += ["vt 0 0", "vt 1 0", "vt 1 1", "vt 0 1"]
    for f in range(6):
        if f in (2, 4):
            obj.append("usemtl red")
        else:
            obj.append("usemtl checker")
        b = 4 * f
        obj.append("f " + " ".join("%d/%d" % (b + k + 1, k + 1) for k in range(4)))
    write("two-materials.obj", "\n".join(obj) + "\n")
    write("two-materials.mtl", "newmtl red\nKd 0.9 0.15 0.1\n\nnewmtl checker\nKd 1 1 1\nmap_Kd Textures\\Checker.PNG\n")

    obj[0] = "mtllib missing-texture.mtl"
    write("missing-texture.obj", "\n".join(obj) + "\n")
    write("missing-texture.mtl", "newmtl red\nKd 0.9 0.15 0.1\n\nnewmtl checker\nKd 0.2 0.4 0.9\nmap_Kd no-such-texture.png\n")


if __name__ == "__main__":
    main()
