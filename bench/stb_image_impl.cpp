// The reference decoder, compiled once (Debian's libstb-dev ships only the header).
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
