// Writes the sample models the project ships, one per format the viewer
// reads on every system:
//   torus_knot.obj  a (2, 3) torus knot as a tube of quads (Wavefront OBJ)
//   terrain.stl     a patch of rolling hills in triangles (binary STL)
//   sphere.ply      an icosahedron subdivided twice onto the sphere (ASCII PLY)
// Usage: make_models OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const double pi = 3.14159265358979323846;

struct V3 {
    double x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 unit(V3 a) {
    double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return l > 0 ? a * (1.0 / l) : a;
}

// The knot's centre line: p turns round the axis while winding q times
// round the torus.
V3 knot_point(double t) {
    const int p = 2, q = 3;
    double r = 2.0 + std::cos(q * t);
    return {r * std::cos(p * t), r * std::sin(p * t), -std::sin(q * t)};
}

bool write_torus_knot(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    const int along = 192, around = 10;
    const double tube = 0.4;
    std::fprintf(f, "# A (2, 3) torus knot: %d rings of %d quads. Made by tools/make_models.\n", along, around);
    for (int i = 0; i < along; ++i) {
        double t = 2 * pi * i / along;
        V3 c = knot_point(t);
        V3 tangent = unit(knot_point(t + 1e-4) - knot_point(t - 1e-4));
        V3 side = unit(cross(tangent, V3{0, 0, 1}));
        V3 up = cross(side, tangent);
        for (int j = 0; j < around; ++j) {
            double a = 2 * pi * j / around;
            V3 v = c + (side * std::cos(a) + up * std::sin(a)) * tube;
            std::fprintf(f, "v %.5f %.5f %.5f\n", v.x, v.y, v.z);
        }
    }
    for (int i = 0; i < along; ++i)
        for (int j = 0; j < around; ++j) {
            int a = i * around + j, b = i * around + (j + 1) % around;
            int c = ((i + 1) % along) * around + (j + 1) % around, d = ((i + 1) % along) * around + j;
            std::fprintf(f, "f %d %d %d %d\n", a + 1, d + 1, c + 1, b + 1);
        }
    return std::fclose(f) == 0;
}

double terrain_height(double x, double y) {
    return 0.35 * std::sin(1.3 * x) * std::cos(0.9 * y) + 0.2 * std::sin(0.7 * x + 1.9 * y) +
           0.08 * std::cos(3.1 * x - 2.3 * y);
}

void put_u32(std::vector<unsigned char>* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put_f32(std::vector<unsigned char>* out, double v) {
    float f = static_cast<float>(v);
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put_u32(out, bits);
}

bool write_terrain(const std::string& path) {
    const int cells = 24;
    const double size = 8.0;
    std::vector<unsigned char> bytes;
    std::string header = "Terrain patch: 24 x 24 cells. Made by tools/make_models.";
    header.resize(80, ' ');
    bytes.assign(header.begin(), header.end());
    put_u32(&bytes, 2 * cells * cells);
    auto point = [&](int i, int j) {
        double x = size * (i / double(cells) - 0.5), y = size * (j / double(cells) - 0.5);
        return V3{x, y, terrain_height(x, y)};
    };
    auto triangle = [&](V3 a, V3 b, V3 c) {
        V3 n = unit(cross(b - a, c - a));
        for (V3 v : {n, a, b, c}) {
            put_f32(&bytes, v.x);
            put_f32(&bytes, v.y);
            put_f32(&bytes, v.z);
        }
        bytes.push_back(0);
        bytes.push_back(0);
    };
    for (int i = 0; i < cells; ++i)
        for (int j = 0; j < cells; ++j) {
            V3 a = point(i, j), b = point(i + 1, j), c = point(i + 1, j + 1), d = point(i, j + 1);
            triangle(a, b, c);
            triangle(a, c, d);
        }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool write_sphere(const std::string& path) {
    const double g = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<V3> vertices = {{-1, g, 0},  {1, g, 0},  {-1, -g, 0}, {1, -g, 0}, {0, -1, g},  {0, 1, g},
                                {0, -1, -g}, {0, 1, -g}, {g, 0, -1},  {g, 0, 1},  {-g, 0, -1}, {-g, 0, 1}};
    for (V3& v : vertices) v = unit(v);
    std::vector<std::vector<int>> faces = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                           {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                           {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                           {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (int level = 0; level < 2; ++level) {
        std::map<std::pair<int, int>, int> middles;
        auto middle = [&](int a, int b) {
            std::pair<int, int> key(std::min(a, b), std::max(a, b));
            auto it = middles.find(key);
            if (it != middles.end()) return it->second;
            vertices.push_back(unit((vertices[a] + vertices[b]) * 0.5));
            return middles[key] = static_cast<int>(vertices.size()) - 1;
        };
        std::vector<std::vector<int>> finer;
        for (const auto& t : faces) {
            int ab = middle(t[0], t[1]), bc = middle(t[1], t[2]), ca = middle(t[2], t[0]);
            finer.push_back({t[0], ab, ca});
            finer.push_back({t[1], bc, ab});
            finer.push_back({t[2], ca, bc});
            finer.push_back({ab, bc, ca});
        }
        faces = finer;
    }
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "ply\nformat ascii 1.0\ncomment An icosahedron subdivided twice. Made by tools/make_models.\n");
    std::fprintf(f, "element vertex %zu\nproperty float x\nproperty float y\nproperty float z\n", vertices.size());
    std::fprintf(f, "element face %zu\nproperty list uchar int vertex_indices\nend_header\n", faces.size());
    for (const V3& v : vertices) std::fprintf(f, "%.5f %.5f %.5f\n", v.x, v.y, v.z);
    for (const auto& t : faces) std::fprintf(f, "3 %d %d %d\n", t[0], t[1], t[2]);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_models OUTPUT_FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    bool ok = write_torus_knot(folder + "/torus_knot.obj") && write_terrain(folder + "/terrain.stl") &&
              write_sphere(folder + "/sphere.ply");
    if (!ok) std::fprintf(stderr, "make_models: cannot write into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
