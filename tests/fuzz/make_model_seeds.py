#!/usr/bin/env python3
"""Writes the mutation campaign's seeds (tests/fuzz/model-seeds/): one small,
valid model per format and variant the importer reads, each a square or a
pyramid, so that mutants start from every parser's main path. Every seed is
read by Assimp 5.2.5 into a scene (tests/fuzz/mutate_models.py --check-seeds).
"""
import base64
import json
import os
import struct
import zipfile

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "model-seeds")

# A square pyramid: four sides, the base a quad.
PYRAMID = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0.5, 0.5, 1)]
SIDES = [(0, 1, 4), (1, 2, 4), (2, 3, 4), (3, 0, 4)]
FACES = SIDES + [(3, 2, 1, 0)]
TRIANGLES = SIDES + [(0, 2, 1), (0, 3, 2)]


def obj():
    lines = ["mtllib pyramid.mtl", "o pyramid", "g sides"]
    lines += ["v %g %g %g" % v for v in PYRAMID]
    lines += ["vt 0 0", "vt 1 0", "vt 0.5 1", "vn 0 0 -1", "usemtl stone"]
    lines += ["f " + " ".join("%d/%d" % (i + 1, n % 3 + 1) for n, i in enumerate(f)) for f in SIDES]
    lines += ["g base", "s 1", "f " + " ".join("%d//1" % (i + 1) for i in FACES[4])]
    return "\n".join(lines) + "\n"


MTL = "newmtl stone\nKa 0.1 0.1 0.1\nKd 0.6 0.5 0.4\nKs 0 0 0\nNs 10\nd 1\nillum 2\n"


def stl_binary():
    out = b"pyramid".ljust(80, b" ") + struct.pack("<I", len(TRIANGLES))
    for t in TRIANGLES:
        out += struct.pack("<3f", 0, 0, 1) + b"".join(struct.pack("<3f", *PYRAMID[i]) for i in t) + b"\0\0"
    return out


def stl_ascii():
    lines = ["solid pyramid"]
    for t in TRIANGLES:
        lines += ["facet normal 0 0 1", " outer loop"] + ["  vertex %g %g %g" % PYRAMID[i] for i in t]
        lines += [" endloop", "endfacet"]
    return "\n".join(lines + ["endsolid pyramid"]) + "\n"


def ply_header(fmt):
    return ("ply\nformat %s 1.0\ncomment pyramid\nelement vertex %d\nproperty float x\nproperty float y\n"
            "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
            "element face %d\nproperty list uchar int vertex_indices\nend_header\n" % (fmt, len(PYRAMID), len(FACES)))


def ply_binary(big_endian=False):
    e = ">" if big_endian else "<"
    body = b"".join(struct.pack(e + "3f3B", *v, 200, 100, 50) for v in PYRAMID)
    body += b"".join(struct.pack(e + "B%di" % len(f), len(f), *f) for f in FACES)
    return ply_header("binary_big_endian" if big_endian else "binary_little_endian").encode() + body


def ply_ascii():
    return ply_header("ascii") + "".join("%g %g %g 200 100 50\n" % v for v in PYRAMID) + "".join(
        "%d %s\n" % (len(f), " ".join(map(str, f))) for f in FACES)


def gltf_parts():
    """The pyramid as glTF 2.0: positions, 16-bit indices (the base as two
    triangles), one node with a child; returns (document, binary)."""
    positions = b"".join(struct.pack("<3f", *v) for v in PYRAMID)
    indices = b"".join(struct.pack("<3H", *t) for t in TRIANGLES)
    binary = positions + indices + b"\0" * (-len(indices) % 4)
    doc = {
        "asset": {"version": "2.0", "generator": "make_model_seeds"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "root", "children": [1]}, {"name": "pyramid", "mesh": 0, "translation": [0, 0, 1]}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "material": 0}]}],
        "materials": [{"pbrMetallicRoughness": {"baseColorFactor": [0.6, 0.5, 0.4, 1]}}],
        "buffers": [{"byteLength": len(binary)}],
        "bufferViews": [{"buffer": 0, "byteLength": len(positions), "target": 34962},
                        {"buffer": 0, "byteOffset": len(positions), "byteLength": len(indices), "target": 34963}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "count": len(PYRAMID), "type": "VEC3",
                       "min": [0, 0, 0], "max": [1, 1, 1]},
                      {"bufferView": 1, "componentType": 5123, "count": 3 * len(TRIANGLES), "type": "SCALAR"}],
    }
    return doc, binary


def gltf_external():
    doc, binary = gltf_parts()
    doc["buffers"][0]["uri"] = "pyramid-external.bin"
    return json.dumps(doc, indent=1), binary


def gltf_data_uri(sparse=False):
    doc, binary = gltf_parts()
    if sparse:
        # The apex moved by a sparse accessor: one index, one VEC3.
        extra = struct.pack("<H", 4) + b"\0\0" + struct.pack("<3f", 0.5, 0.5, 2)
        doc["bufferViews"].append({"buffer": 0, "byteOffset": len(binary), "byteLength": len(extra)})
        doc["accessors"][0]["sparse"] = {"count": 1, "indices": {"bufferView": 2, "componentType": 5123},
                                         "values": {"bufferView": 2, "byteOffset": 4}}
        doc["accessors"][0]["max"] = [1, 1, 2]
        binary += extra
    doc["buffers"][0]["byteLength"] = len(binary)
    doc["buffers"][0]["uri"] = "data:application/octet-stream;base64," + base64.b64encode(binary).decode()
    return json.dumps(doc, indent=1)


def glb():
    doc, binary = gltf_parts()
    text = json.dumps(doc, separators=(",", ":")).encode()
    text += b" " * (-len(text) % 4)
    body = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(binary), b"BIN\0") + binary
    return struct.pack("<4sII", b"glTF", 2, 12 + len(body)) + body


def collada():
    points = " ".join("%g %g %g" % v for v in PYRAMID)
    polys = " ".join(" ".join(map(str, f)) for f in FACES)
    counts = " ".join(str(len(f)) for f in FACES)
    return f"""<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Z_UP</up_axis></asset>
  <library_effects><effect id="stone-fx"><profile_COMMON><technique sid="common"><lambert>
    <diffuse><color>0.6 0.5 0.4 1</color></diffuse></lambert></technique></profile_COMMON></effect></library_effects>
  <library_materials><material id="stone"><instance_effect url="#stone-fx"/></material></library_materials>
  <library_geometries>
    <geometry id="pyramid">
      <mesh>
        <source id="pyramid-positions">
          <float_array id="pyramid-positions-array" count="{3 * len(PYRAMID)}">{points}</float_array>
          <technique_common><accessor source="#pyramid-positions-array" count="{len(PYRAMID)}" stride="3">
            <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
          </accessor></technique_common>
        </source>
        <vertices id="pyramid-vertices"><input semantic="POSITION" source="#pyramid-positions"/></vertices>
        <polylist material="stone" count="{len(FACES)}">
          <input semantic="VERTEX" source="#pyramid-vertices" offset="0"/>
          <vcount>{counts}</vcount>
          <p>{polys}</p>
        </polylist>
      </mesh>
    </geometry>
  </library_geometries>
  <library_nodes>
    <node id="part"><instance_geometry url="#pyramid"><bind_material><technique_common>
      <instance_material symbol="stone" target="#stone"/></technique_common></bind_material></instance_geometry></node>
  </library_nodes>
  <library_visual_scenes>
    <visual_scene id="scene">
      <node id="root"><matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>
        <node id="copy"><translate>2 0 0</translate><instance_node url="#part"/></node>
        <instance_node url="#part"/>
      </node>
    </visual_scene>
  </library_visual_scenes>
  <scene><instance_visual_scene url="#scene"/></scene>
</COLLADA>
"""


def zae():
    """The Collada seed zipped, as .zae files are (with the manifest)."""
    import io
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        # A fixed date, so that the seed is the same on every run.
        for name, text in (("manifest.xml", "<?xml version=\"1.0\"?>\n<dae_root>pyramid.dae</dae_root>\n"),
                           ("pyramid.dae", collada())):
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), text, zipfile.ZIP_DEFLATED)
    return out.getvalue()


def off():
    lines = ["OFF", "%d %d 0" % (len(PYRAMID), len(FACES))] + ["%g %g %g" % v for v in PYRAMID]
    return "\n".join(lines + ["%d %s" % (len(f), " ".join(map(str, f))) for f in FACES]) + "\n"


def chunk(tag, payload):
    return struct.pack("<HI", tag, 6 + len(payload)) + payload


def three_ds():
    vertices = chunk(0x4110, struct.pack("<H", len(PYRAMID)) + b"".join(struct.pack("<3f", *v) for v in PYRAMID))
    faces = chunk(0x4120, struct.pack("<H", len(TRIANGLES)) +
                  b"".join(struct.pack("<4H", *t, 7) for t in TRIANGLES))
    mesh = chunk(0x4100, vertices + faces)
    editor = chunk(0x3D3E, struct.pack("<I", 3)) + chunk(0x4000, b"pyramid\0" + mesh)
    return chunk(0x4D4D, chunk(0x0002, struct.pack("<I", 3)) + chunk(0x3D3D, editor))


def directx():
    points = ",\n".join("    %g;%g;%g;" % v for v in PYRAMID)
    faces = ",\n".join("    %d;%s;" % (len(f), ",".join(map(str, f))) for f in FACES)
    return f"""xof 0303txt 0032
Frame Root {{
  FrameTransformMatrix {{
    1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;
  }}
  Frame Pyramid {{
   Mesh pyramid {{
    {len(PYRAMID)};
{points};
    {len(FACES)};
{faces};
    MeshMaterialList {{ 1; {len(FACES)}; 0,0,0,0,0;
      Material stone {{ 0.6;0.5;0.4;1.0;; 10.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }}
    }}
   }}
  }}
}}
"""


def fbx_ascii():
    points = ",".join("%g,%g,%g" % v for v in PYRAMID)
    # The last corner of each polygon is stored as -(index + 1).
    corners = [i for f in FACES for i in f[:-1] + (-f[-1] - 1,)]
    return f"""; FBX 7.4.0 project file
FBXHeaderExtension:  {{
	FBXHeaderVersion: 1003
	FBXVersion: 7400
	Creator: "make_model_seeds"
}}
GlobalSettings:  {{
	Version: 1000
	Properties70:  {{
		P: "UpAxis", "int", "Integer", "",2
		P: "UnitScaleFactor", "double", "Number", "",1
	}}
}}
Objects:  {{
	Geometry: 1000, "Geometry::pyramid", "Mesh" {{
		Vertices: *{3 * len(PYRAMID)} {{
			a: {points}
		}}
		PolygonVertexIndex: *{len(corners)} {{
			a: {",".join(map(str, corners))}
		}}
		GeometryVersion: 124
	}}
	Model: 2000, "Model::pyramid", "Mesh" {{
		Version: 232
		Properties70:  {{
			P: "Lcl Translation", "Lcl Translation", "", "A",0,0,1
		}}
	}}
	Material: 3000, "Material::stone", "" {{
		Version: 102
		ShadingModel: "lambert"
		Properties70:  {{
			P: "DiffuseColor", "Color", "", "A",0.6,0.5,0.4
		}}
	}}
}}
Connections:  {{
	C: "OO",1000,2000
	C: "OO",3000,2000
	C: "OO",2000,0
}}
"""


def seeds():
    external_text, external_bin = gltf_external()
    return {
        "pyramid.obj": obj(),
        "pyramid.mtl": MTL,
        "pyramid-binary.stl": stl_binary(),
        "pyramid-ascii.stl": stl_ascii(),
        "pyramid-ascii.ply": ply_ascii(),
        "pyramid-binary.ply": ply_binary(),
        "pyramid-binary-be.ply": ply_binary(big_endian=True),
        "pyramid-external.gltf": external_text,
        "pyramid-external.bin": external_bin,
        "pyramid-embedded.gltf": gltf_data_uri(),
        "pyramid-sparse.gltf": gltf_data_uri(sparse=True),
        "pyramid.glb": glb(),
        "pyramid.dae": collada(),
        "pyramid.zae": zae(),
        "pyramid.off": off(),
        "pyramid.3ds": three_ds(),
        "pyramid.x": directx(),
        "pyramid.fbx": fbx_ascii(),
    }


def main():
    os.makedirs(HERE, exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)


if __name__ == "__main__":
    main()
