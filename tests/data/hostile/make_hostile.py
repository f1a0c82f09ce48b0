#!/usr/bin/env python3
"""Writes the hostile model files: real files that crash, hang or overrun
Assimp 5.2.5 in-process (README.md beside this script says what each does).

    make_hostile.py            the small files, here (they are committed)
    make_hostile.py --large D  the large ones into D, made at test time:
                               obj-many-objects.obj (3.3 MB), the deep
                               nesting of glTF nodes and FBX scopes, and that
                               of Collada and DirectX uncompressed

Deep nesting is committed compressed (.zae, MSZIP .x): a few KiB that
expand to what overflows the stack.
"""
import argparse
import base64
import io
import json
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Deep enough to overflow an 8 MiB stack with room to spare: Debian's build
# overflows from about 44,000 frames (DirectX) and 6,700 nodes (Collada).
X_DEPTH = 150000
COLLADA_DEPTH = 60000

COLLADA_HEAD = ('<?xml version="1.0" encoding="utf-8"?>\n'
                '<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">\n')
COLLADA_SCENE = '  <scene><instance_visual_scene url="#scene"/></scene>\n</COLLADA>\n'


def collada_deep():
    return (COLLADA_HEAD + '  <library_visual_scenes><visual_scene id="scene">' + "<node>" * COLLADA_DEPTH +
            "</node>" * COLLADA_DEPTH + "</visual_scene></library_visual_scenes>\n" + COLLADA_SCENE)


def collada_self_instancing():
    return (COLLADA_HEAD + '  <library_visual_scenes>\n    <visual_scene id="scene">\n'
            '      <node id="loop"><instance_node url="#loop"/></node>\n'
            "    </visual_scene>\n  </library_visual_scenes>\n" + COLLADA_SCENE)


def collada_triangle(stride=3, indices="0 1 2"):
    return (COLLADA_HEAD + """  <library_geometries><geometry id="g"><mesh>
    <source id="p"><float_array id="pa" count="9">0 0 0 1 0 0 0 1 0</float_array>
      <technique_common><accessor source="#pa" count="3" stride="%d">
        <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
      </accessor></technique_common></source>
    <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
    <polylist count="1"><input semantic="VERTEX" source="#v" offset="0"/><vcount>3</vcount><p>%s</p></polylist>
  </mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="scene"><node><instance_geometry url="#g"/></node></visual_scene>
  </library_visual_scenes>
""" % (stride, indices) + COLLADA_SCENE)


def zae(dae_name, text):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in (("manifest.xml", '<?xml version="1.0"?>\n<dae_root>%s</dae_root>\n' % dae_name),
                              (dae_name, text)):
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), content, zipfile.ZIP_DEFLATED)
    return out.getvalue()


def x_deep_text():
    return "Frame{" * X_DEPTH + "}" * X_DEPTH + "\n"


def x_mszip(text):
    """A compressed DirectX file ("tzip"): blocks of at most 32 KiB, each
    raw deflate behind its length and "CK"."""
    raw = text.encode()
    out = b"xof 0303tzip0032" + struct.pack("<IH", len(raw), 0)
    for at in range(0, len(raw), 32768):
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        block = packer.compress(raw[at:at + 32768]) + packer.flush()
        out += struct.pack("<H", len(block)) + b"CK" + block
    return out


FBX_HEAD = "; FBX 7.4.0 project file\nFBXHeaderExtension:  {\n\tFBXVersion: 7400\n}\n"

TRIANGLE = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0)


def gltf(accessor, buffer_views=None, data=TRIANGLE):
    """A one-triangle glTF (positions in a data: URI) with the given accessor."""
    return json.dumps({
        "asset": {"version": "2.0"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
        "buffers": [{"byteLength": len(data),
                     "uri": "data:application/octet-stream;base64," + base64.b64encode(data).decode()}],
        "bufferViews": buffer_views or [{"buffer": 0, "byteLength": len(data)}],
        "accessors": [accessor],
    }, indent=1) + "\n"


POSITIONS = {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3"}


def ply_header(fmt, elements):
    lines = ["ply", "format %s 1.0" % fmt]
    for name, count, properties in elements:
        lines.append("element %s %d" % (name, count))
        lines += ["property " + p for p in properties]
    return ("\n".join(lines + ["end_header"]) + "\n").encode()


XYZ = ["float x", "float y", "float z"]
INDICES = ["list uchar int vertex_indices"]


def small_files():
    return {
        "collada-self-instancing.dae": collada_self_instancing(),
        "collada-deep-nesting.zae": zae("deep.dae", collada_deep()),
        # strtol10 does not move past the "x", so the index loop never ends.
        "collada-index-not-a-number.dae": collada_triangle(indices="x 1 2"),
        # The accessor's stride is not checked against its array: vertex 1
        # is read 400 MB past the nine floats.
        "collada-accessor-stride-out-of-range.dae": collada_triangle(stride=100000000),
        # A model that is its own parent: the node conversion never ends.
        "fbx-self-parent.fbx": FBX_HEAD + 'Objects:  {\n\tModel: 2000, "Model::loop", "Null" {\n\t}\n}\n'
                               'Connections:  {\n\tC: "OO",2000,2000\n\tC: "OO",2000,0\n}\n',
        "x-deep-nesting-mszip.x": x_mszip(x_deep_text()),
        # The indices of a sparse accessor 2^40 bytes into a 36-byte buffer.
        "gltf-sparse-indices-out-of-range.gltf": gltf(dict(POSITIONS, sparse={
            "count": 1, "indices": {"bufferView": 0, "byteOffset": 1 << 40, "componentType": 5125},
            "values": {"bufferView": 0}})),
        # Its values 2^40 bytes into the buffer: copied from there.
        "gltf-sparse-values-out-of-range.gltf": gltf(dict(POSITIONS, sparse={
            "count": 1, "indices": {"bufferView": 0, "componentType": 5121},
            "values": {"bufferView": 0, "byteOffset": 1 << 40}})),
        # Sparse indices without their bufferView: a null JSON value is read.
        "gltf-sparse-indices-without-buffer-view.gltf": gltf(dict(POSITIONS, sparse={
            "count": 1, "indices": {"componentType": 5125}, "values": {"bufferView": 0}})),
        # A sparse accessor without indices at all: patched through a null view.
        "gltf-sparse-without-indices.gltf": gltf(dict(POSITIONS, sparse={"count": 1, "values": {"bufferView": 0}})),
        # Offsets whose sums wrap round 2^64 pass the range checks; the data
        # is then read from 4 MiB before the buffer.
        "gltf-buffer-view-offset-wraps.gltf": gltf(
            dict(POSITIONS, count=1 << 20, byteOffset=(1 << 64) - 1 - 4 * (1 << 20)),
            [{"buffer": 0, "byteOffset": 1, "byteLength": (1 << 64) - 1}]),
        # The range check counts one component per element, not three: the
        # VEC3 data runs 24 bytes past the end of the 36-byte buffer.
        "gltf-accessor-out-of-range.gltf": gltf(dict(POSITIONS, byteOffset=24)),
        # A second "vertex" element writes past the array sized by the first:
        # 12 bytes of position for each byte of its data, 24 KiB in all.
        "ply-heap-overflow.ply": ply_header("binary_little_endian", [
            ("vertex", 1, XYZ), ("vertex", 2000, ["uchar x"]), ("face", 1, INDICES)]) +
            TRIANGLE[:12] + b"\0" * 2000 + struct.pack("<B3i", 3, 0, 0, 0),
        # The same with faces: the second "face" element writes past the first's.
        "ply-face-element-twice.ply": ply_header("ascii", [
            ("vertex", 3, XYZ), ("face", 1, INDICES), ("face", 300, INDICES)]) +
            b"0 0 0\n1 0 0\n0 1 0\n" + b"3 0 1 2\n" * 301,
        # A binary header cut short: the line reader runs off its buffer.
        "ply-truncated-header.ply": b"ply\nformat binary_\0\0",
        "ply-no-end-header.ply": ply_header("ascii", [("vertex", 3, XYZ)]).replace(b"end_header\n", b""),
        "off-huge-counts.off": "OFF\n2000000000 1000000000 0\n0 0 0\n",
        # Two faces of no corners take the face count from 1 below zero; the
        # validation then walks 4 billion faces of a one-face array.
        "off-face-count-underflow.off": "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n0\n0\n3 0 1 2\n",
        # A line of 4096 characters or more: its terminating zero is written
        # one past the parser's 4096-byte line buffer on the stack.
        "off-long-line.off": "OFF\n3 1 0\n0 0 0" + " " * 4100 + "\n1 0 0\n0 1 0\n3 0 1 2\n",
    }


def obj_many_objects(count=150000):
    # Each "o" searches every object made before it: quadratic in the count.
    return "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + "".join("o object%d\nf 1 2 3\n" % i for i in range(count))


def gltf_deep_nodes(depth=30000):
    # Each node read reads its children first, recursively: Debian's build
    # overflows from about 17,600 levels, the Windows one below 5,000.
    doc = json.loads(gltf(POSITIONS))
    doc["nodes"] = [{"children": [i + 1]} for i in range(depth - 1)] + [{"mesh": 0}]
    return json.dumps(doc, separators=(",", ":")) + "\n"


def large_files():
    return {
        "obj-many-objects.obj": obj_many_objects(),
        "gltf-deep-nodes.gltf": gltf_deep_nodes(),
        # Debian's build overflows from about 24,000 scopes.
        "fbx-deep-nesting.fbx": FBX_HEAD + "Objects:  {\n" + "A:{" * 60000 + "}" * 60000 + "\n}\n",
        "collada-deep-nesting.dae": collada_deep(),
        "x-deep-nesting.x": "xof 0303txt 0032\n" + x_deep_text(),
    }


def write(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)


def main():
    parser = argparse.ArgumentParser(description="Writes the hostile model files.")
    parser.add_argument("--large", metavar="FOLDER", help="write the large files into FOLDER instead")
    args = parser.parse_args()
    if args.large:
        write(args.large, large_files())
    else:
        write(HERE, small_files())


if __name__ == "__main__":
    main()
