// Small image files of known content for the loader tests: 24-bit BMP, RGBA PNG and JPEG, written
// by stb's image writer.
#ifndef TAVROK_TESTS_D3DX9_IMAGE_FILES_H
#define TAVROK_TESTS_D3DX9_IMAGE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

// Pixels are ARGB words, rows top first.
std::vector<uint8_t> EncodeBmp24(const std::vector<uint32_t> &argb, int width, int height);
std::vector<uint8_t> EncodePngRgba(const std::vector<uint32_t> &argb, int width, int height);
std::vector<uint8_t> EncodeJpeg(const std::vector<uint32_t> &argb, int width, int height);  // baseline, quality 95
void WriteFileBytes(const std::string &path, const std::vector<uint8_t> &bytes);
std::vector<uint8_t> ReadFileBytes(const std::string &path);  // empty when the file cannot be read

// A fresh folder for one test's files, removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

#endif
