// The Windows side of the zqvtool tests, under Wine: cmd runs it, and
// stb_image decodes its PNG pictures.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <algorithm>
#include <cstdlib>

#include "test_support.h"
#include "tool_test_support.h"

using namespace zqv;

const char* const device_path = "NUL";
const bool tool_writes_video = false;

int run_zqvtool(const std::string& arguments)
{
    std::string program = "Z:" ZQVTOOL_PATH;  // the Unix path as Wine's drive Z: sees it
    std::replace(program.begin(), program.end(), '/', '\\');
    return std::system((program + " " + arguments).c_str());
}

Pictures decode_pictures(const std::string& path)
{
    Pictures pictures;
    int channels;
    if (stbi_uc* rgb = stbi_load(path.c_str(), &pictures.width, &pictures.height, &channels, 3)) {
        pictures.hashes.push_back(fnv1a64(rgb, 3u * pictures.width * pictures.height));
        stbi_image_free(rgb);
    }
    return pictures;
}
