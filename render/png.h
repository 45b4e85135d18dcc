// PNG files of RGB pictures. Written beside the target and renamed into place, so a failed
// write leaves the old file (or none), never half a picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

// `rgb`: width * height * 3 bytes, rows top to bottom. False with `error` set when the size does
// not match, the picture is empty or too large, encoding fails or the file cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, std::string& error);

// Encoded PNG bytes in memory (what WritePng writes).
bool EncodePng(int width, int height, const std::vector<uint8_t>& rgb, std::vector<uint8_t>& png, std::string& error);

}  // namespace render
