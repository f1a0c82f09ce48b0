#include "stereo/anaglyph_method.h"

#include <cstring>

#include "stereo/output_mode.h"

namespace {

const char* const method_names[anaglyph_method_count] = {"channels", "grey", "half-colour", "optimised"};

// Luminance weights (ITU-R BT.601), as grey and half-colour use them.
const float luma[3] = {0.299f, 0.587f, 0.114f};

// Dubois's least-squares figures, applied straight to the sRGB values (the
// paper decodes to linear light first; straight is the usual cheaper form).
struct Published {
    int colour_pair;  // left eye behind the first colour
    float left[3][3];
    float right[3][3];
};
const Published published[] = {
    {2,  // red-cyan
     {{0.437f, 0.449f, 0.164f}, {-0.062f, -0.062f, -0.024f}, {-0.048f, -0.050f, -0.017f}},
     {{-0.011f, -0.032f, -0.007f}, {0.377f, 0.761f, 0.009f}, {-0.026f, -0.093f, 1.234f}}},
    // Copies of the green-magenta set disagree on the sign of right[1][2];
    // -0.065 is taken (the other changes a magenta eye's green by a trace).
    {6,  // green-magenta
     {{-0.062f, -0.158f, -0.039f}, {0.284f, 0.668f, 0.143f}, {-0.015f, -0.027f, 0.021f}},
     {{0.529f, 0.705f, 0.024f}, {-0.016f, -0.015f, -0.065f}, {0.009f, 0.075f, 0.937f}}},
    {7,  // amber-blue
     {{1.062f, -0.205f, 0.299f}, {-0.026f, 0.908f, 0.068f}, {-0.038f, -0.173f, 0.022f}},
     {{-0.016f, -0.123f, -0.017f}, {0.006f, 0.062f, -0.017f}, {0.094f, 0.185f, 0.911f}}},
};
const int cyan_red = 5, red_cyan = 2;

// The published set for a pair, and whether its eyes are the other way round.
const Published* published_for(int colour_pair, bool* turned) {
    *turned = colour_pair == cyan_red;
    const int wanted = *turned ? red_cyan : colour_pair;
    for (const Published& p : published)
        if (p.colour_pair == wanted) return &p;
    return nullptr;
}

int channel_count(const float glasses[3]) { return (glasses[0] > 0) + (glasses[1] > 0) + (glasses[2] > 0); }

// One eye's matrix: each channel its glasses pass gets the eye's own channel
// (in_colour) or its luminance; the others nothing.
void glasses_matrix(const float glasses[3], bool in_colour, float m[3][3]) {
    std::memset(m, 0, sizeof(float) * 9);
    for (int out = 0; out < 3; ++out) {
        if (glasses[out] <= 0) continue;
        if (in_colour) {
            m[out][out] = 1.0f;
        } else {
            for (int in = 0; in < 3; ++in) m[out][in] = luma[in];
        }
    }
}

}  // namespace

const char* anaglyph_method_name(AnaglyphMethod method) {
    const int i = static_cast<int>(method);
    return i >= 0 && i < anaglyph_method_count ? method_names[i] : nullptr;
}

bool anaglyph_method_from_name(const char* name, AnaglyphMethod* method) {
    if (!name) return false;
    for (int i = 0; i < anaglyph_method_count; ++i)
        if (std::strcmp(method_names[i], name) == 0) {
            *method = static_cast<AnaglyphMethod>(i);
            return true;
        }
    return false;
}

AnaglyphMethod next_anaglyph_method(AnaglyphMethod method) {
    return static_cast<AnaglyphMethod>((static_cast<int>(method) + 1) % anaglyph_method_count);
}

bool anaglyph_method_mixes(AnaglyphMethod method) { return method != AnaglyphMethod::channels; }

bool has_optimised_matrices(int colour_pair) {
    bool turned;
    return published_for(colour_pair, &turned) != nullptr;
}

MixMatrices anaglyph_matrices(AnaglyphMethod method, int colour_pair) {
    MixMatrices m{};
    if (colour_pair < 0 || colour_pair >= colour_pair_count) return m;
    const ColourPair& pair = colour_pairs[colour_pair];
    bool turned = false;
    const Published* p = method == AnaglyphMethod::optimised ? published_for(colour_pair, &turned) : nullptr;
    if (p) {
        std::memcpy(m.left, turned ? p->right : p->left, sizeof m.left);
        std::memcpy(m.right, turned ? p->left : p->right, sizeof m.right);
        return m;
    }
    // Half-colour keeps the colours of an eye whose glasses pass two channels
    // (cyan, magenta, amber): with one channel each (red-blue, say) it is grey.
    const bool half = method == AnaglyphMethod::half_colour;
    const bool masks = method == AnaglyphMethod::channels;
    glasses_matrix(pair.left, masks || (half && channel_count(pair.left) > 1), m.left);
    glasses_matrix(pair.right, masks || (half && channel_count(pair.right) > 1), m.right);
    return m;
}

void mix_anaglyph_pixel(const MixMatrices& m, const float left[3], const float right[3], float out[3]) {
    for (int c = 0; c < 3; ++c) {
        float v = 0.0f;
        for (int in = 0; in < 3; ++in) v += m.left[c][in] * left[in] + m.right[c][in] * right[in];
        out[c] = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    }
}
