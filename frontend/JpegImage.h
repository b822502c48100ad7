#pragma once

#include <QByteArray>
#include <QImage>
#include <stdexcept>

// A JPEG that cannot be decoded: corrupt, truncated, too large or of an unsupported kind.
class JpegError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Decodes a whole JPEG held in memory into an RGB888 image. Grayscale, YCbCr, RGB and
// CMYK/YCCK pictures are accepted; anything libjpeg only warns about (a truncated file, bytes
// between markers) is refused too, so a damaged picture never shows as a grey half.
// Throws JpegError with libjpeg's own wording.
QImage DecodeJpeg(const QByteArray& data);
