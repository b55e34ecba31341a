// Scan profiles taken from images: one pixel row of a PNG file as grey
// levels, mapped to reflectance samples and resampled to the scan's length.
#include "readersim.h"

#include <algorithm>
#include <cmath>
#include <png.h>

namespace readersim {

namespace {

// Mean of the pixels under [from, to) of a row, each weighted by how much
// of it the interval covers.
double area_mean(const std::vector<uint8_t> &row, double from, double to) {
    double sum = 0;
    for (int j = (int)std::floor(from); j < (int)std::ceil(to); j++) {
        double cover = std::min(to, j + 1.0) - std::max(from, (double)j);
        sum += cover * row[(size_t)std::clamp(j, 0, (int)row.size() - 1)];
    }
    return sum / (to - from);
}

} // namespace

std::vector<uint8_t> resample_row(const std::vector<uint8_t> &row, int count, double low, double high) {
    std::vector<uint8_t> out((size_t)count);
    double step = (double)row.size() / count;
    for (int i = 0; i < count; i++) {
        double grey = area_mean(row, i * step, (i + 1) * step);
        out[(size_t)i] = (uint8_t)std::lround(std::clamp(low + (high - low) * grey / 255.0, 0.0, 255.0));
    }
    return out;
}

// Largest image read whole: 64 megapixels (a barcode rendering is far smaller).
constexpr uint64_t max_image_pixels = 64u << 20;

bool png_row(const std::string &path, int row, std::vector<uint8_t> &out, std::string &error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        return false;
    }
    // The header's size is checked before anything is allocated for it: a
    // small file may claim a huge image.
    if (image.width == 0 || image.height == 0 || (uint64_t)image.width * image.height > max_image_pixels) {
        error = path + ": image of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                " pixels; at most " + std::to_string(max_image_pixels) + " pixels are read";
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    // Transparent parts are laid on white paper.
    png_color white = {255, 255, 255};
    if (!png_image_finish_read(&image, &white, pixels.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    int height = (int)image.height, width = (int)image.width;
    if (row < 0)
        row = height / 2;
    if (row >= height || width == 0) {
        error = path + ": no pixel row " + std::to_string(row) + " (the image has " + std::to_string(height) +
                ")";
        return false;
    }
    out.assign(pixels.begin() + (ptrdiff_t)row * width, pixels.begin() + (ptrdiff_t)(row + 1) * width);
    return true;
}

bool samples_from_png(const std::string &path, int row, double low, double high, std::vector<uint8_t> &out,
                      std::string &error) {
    std::vector<uint8_t> pixels;
    if (!png_row(path, row, pixels, error))
        return false;
    out = resample_row(pixels, sample_count, low, high);
    return true;
}

} // namespace readersim
