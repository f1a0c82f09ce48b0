// The kinds of display the two eye images can be presented on, and the names
// the command line and the overlay use for them and for the colour pairs.
#pragma once

enum class OutputMode {
    anaglyph,           // both eyes over the whole area, each in one colour of the pair
    free_view,          // two white images, viewports the image shift apart
    side_by_side,       // left half / right half, each with its own aspect
    side_by_side_half,  // the same halves, squeezed to the whole area's aspect
    top_bottom,         // top half / bottom half, squeezed
    rows,               // interleaved rows, left eye on the top row
    columns,            // interleaved columns, left eye on the leftmost column
    checkerboard,       // left eye where x + y (from the top left) is even
    page_flip,          // quad-buffered: back-left and back-right buffers
};
constexpr int output_mode_count = 9;

// "anaglyph", "free-view", ...; null for a value outside the enumeration.
const char* output_mode_name(OutputMode mode);
// True and *mode set when name is one of the names above; false otherwise.
bool output_mode_from_name(const char* name, OutputMode* mode);
// The mode M steps to: the next one in declaration order, page-flip back to anaglyph.
OutputMode next_output_mode(OutputMode mode);

// What a mode needs of the pixel format beyond colour and depth.
bool mode_needs_stencil(OutputMode mode);  // the interleaved modes: a mask per pixel
bool mode_needs_stereo(OutputMode mode);   // page-flip: left and right back buffers

constexpr int colour_pair_count = 8;
// Row names of the colour pair table, left eye first: "red-blue", "red-green",
// "red-cyan", "blue-red", "green-red", "cyan-red", "green-magenta",
// "amber-blue"; null outside 0..7.
const char* colour_pair_name(int row);
bool colour_pair_from_name(const char* name, int* row);
// The row C steps to. From red-cyan, the start: blue-red, green-red,
// cyan-red, red-blue, red-green, then the two pairs added later,
// green-magenta and amber-blue, and back to red-cyan. A row outside the
// table steps to the first.
int next_colour_pair(int row);

// Anaglyph colours, left eye then right eye, as RGB.
struct ColourPair {
    float left[3];
    float right[3];
};
extern const ColourPair colour_pairs[colour_pair_count];
