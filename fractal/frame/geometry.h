// The fixed geometry of a frame: 640 x 480 pixels in 5 x 5 blocks.
#pragma once

namespace zqv {

constexpr int frame_width = 640;
constexpr int frame_height = 480;
constexpr int frame_bytes = frame_width * frame_height;  // 307200
constexpr int block_size = 5;
constexpr int block_columns = frame_width / block_size;  // 128
constexpr int block_rows = frame_height / block_size;    // 96

}  // namespace zqv
