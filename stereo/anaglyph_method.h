// How the anaglyph turns the two eyes' images into one picture. `channels`
// passes each eye's image through its glasses' channels as it is drawn; the
// other methods draw both eyes in full colour and mix them afterwards, each
// output pixel being clamp(left * left_rgb + right * right_rgb) with one
// 3 x 3 matrix per eye.
#pragma once

enum class AnaglyphMethod {
    channels,     // each eye's own channels through its glasses, no mixing
    grey,         // each eye's luminance into its glasses' channels
    half_colour,  // a one-channel eye sees its luminance, a two-channel eye its own colours
    optimised,    // the published least-squares matrices of the pair
};
constexpr int anaglyph_method_count = 4;

// "channels", "grey", "half-colour", "optimised"; null outside the enumeration.
const char* anaglyph_method_name(AnaglyphMethod method);
bool anaglyph_method_from_name(const char* name, AnaglyphMethod* method);
// The method A steps to: the next one, optimised back to channels.
AnaglyphMethod next_anaglyph_method(AnaglyphMethod method);
// Whether the method needs both eyes drawn apart and mixed (all but channels).
bool anaglyph_method_mixes(AnaglyphMethod method);

// Rows: output R, G, B; columns: input R, G, B.
struct MixMatrices {
    float left[3][3];
    float right[3][3];
};

// The matrices of a method for a row of the colour pair table (channels as
// plain masks). Optimised has published figures for red-cyan, green-magenta
// and amber-blue (and cyan-red, the same glasses turned round); the other
// pairs mix as grey.
MixMatrices anaglyph_matrices(AnaglyphMethod method, int colour_pair);
bool has_optimised_matrices(int colour_pair);

// One output pixel, as the mixing program computes it, channels from 0 to 1.
void mix_anaglyph_pixel(const MixMatrices& m, const float left[3], const float right[3], float out[3]);
