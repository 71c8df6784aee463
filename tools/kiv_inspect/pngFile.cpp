#include "kiv_inspect/pngFile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>

namespace {

struct fileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, fileCloser> filePtr;

filePtr openPath(const QString& path, const char* mode) {
    return filePtr(std::fopen(path.toLocal8Bit().constData(), mode));
}

} // namespace

bool writePng(const raster& picture, const QString& path, QString* error) {
    if (picture.isNull() || picture.palette.empty() || picture.palette.size() > 256) {
        *error = QStringLiteral("no picture to write to %1").arg(path);
        return false;
    }
    filePtr file = openPath(path, "wb");
    if (!file) {
        *error = QStringLiteral("cannot write the picture %1").arg(path);
        return false;
    }
    // Everything with a destructor is made before libpng may jump back to setjmp.
    std::vector<png_color> colours;
    for (const rgbColour& c : picture.palette)
        colours.push_back(png_color{c.red, c.green, c.blue});
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        *error = QStringLiteral("cannot write the picture %1").arg(path);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(picture.width()), png_uint_32(picture.height()), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, colours.data(), int(colours.size()));
    png_write_info(png, info);
    for (int y = 0; y < picture.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(picture.row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        *error = QStringLiteral("cannot write the picture %1").arg(path);
        return false;
    }
    return true;
}

bool readPng(const QString& path, raster* picture, QString* error) {
    filePtr file = openPath(path, "rb");
    if (!file) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    raster result;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        *error = QStringLiteral("%1 is not a readable PNG").arg(path);
        return false;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE ||
        png_get_bit_depth(png, info) != 8) {
        png_destroy_read_struct(&png, &info, nullptr);
        *error = QStringLiteral("%1 is not an 8-bit palette PNG").arg(path);
        return false;
    }
    int width = int(png_get_image_width(png, info));
    int height = int(png_get_image_height(png, info));
    result = raster(width, height, 0);
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colours, &count);
    for (int i = 0; i < count; ++i)
        result.palette.push_back(rgbColour{colours[i].red, colours[i].green, colours[i].blue});
    for (int y = 0; y < height && !result.isNull(); ++y)
        png_read_row(png, result.row(y), nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    if (result.isNull()) {
        *error =
            QStringLiteral("%1: no memory for %2 x %3 pixels").arg(path).arg(width).arg(height);
        return false;
    }
    *picture = std::move(result);
    return true;
}
