/* The image decoder compiled into the image loader's fuzz target, so that libFuzzer sees
 * (and the sanitizers check) the decoding code too: the target's own copy takes the place
 * of the shared library's. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
