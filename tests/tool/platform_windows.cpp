// The Windows side of the zqvtool tests, under Wine: cmd runs it, and
// stb_image decodes its PNG pictures.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <algorithm>
#include <cstdlib>

#include "test_support.h"
#include "tool_test_support.h"

int run_tool(const std::string& arguments, std::string& out, std::string& err)
{
    std::string program = "Z:" + std::string(ZQVTOOL_PATH);  // the Unix path as Wine's drive Z: sees it
    std::replace(program.begin(), program.end(), '/', '\\');
    const int code = std::system((program + " " + arguments + " >tool_out.txt 2>tool_err.txt").c_str());
    const std::vector<std::uint8_t> out_bytes = read_file("tool_out.txt"), err_bytes = read_file("tool_err.txt");
    out.assign(out_bytes.begin(), out_bytes.end());
    err.assign(err_bytes.begin(), err_bytes.end());
    return code;
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
