#include "JpegImage.h"

// clang-format off
// jpeglib.h needs size_t and FILE declared before it
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <string>
#include <vector>

namespace {

// Larger pictures are refused before any pixel memory is taken.
constexpr std::size_t kMaxPixels = 64u * 1024u * 1024u;

// libjpeg reports a fatal error through error_exit, which must not return. Throwing from it
// would unwind a C++ exception through libjpeg's C frames, which are not built for that; instead
// error_exit longjmps back into the small Guarded* functions below. Their frames, and the
// libjpeg frames skipped, hold only plain C data, so nothing with a destructor is jumped over;
// the C++ exception is thrown only after they have returned.
struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager err;
};

[[noreturn]] void OnFatalError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    err->pub.format_message(info, err->message);
    std::longjmp(err->jump, 1);
}

// A warning means damaged data that libjpeg would paper over (a premature end is filled with
// grey, junk before a marker is skipped); such a picture is refused like a broken one.
void OnMessage(j_common_ptr info, int level) {
    if (level < 0) OnFatalError(info);
}

J_COLOR_SPACE OutputSpaceFor(J_COLOR_SPACE stored) {
    switch (stored) {
        case JCS_GRAYSCALE:
            return JCS_GRAYSCALE;
        case JCS_CMYK:
        case JCS_YCCK:
            return JCS_CMYK;
        default:
            return JCS_RGB;  // libjpeg itself refuses what it cannot turn into RGB
    }
}

// Each Guarded* function returns false when libjpeg failed; the reason is in err.message.
bool GuardedReadHeader(Decoder& d, const unsigned char* bytes, unsigned long size) {
    if (setjmp(d.err.jump)) return false;
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, bytes, size);
    jpeg_read_header(&d.info, TRUE);
    return true;
}

bool GuardedStart(Decoder& d) {
    if (setjmp(d.err.jump)) return false;
    d.info.out_color_space = OutputSpaceFor(d.info.jpeg_color_space);
    jpeg_start_decompress(&d.info);
    return true;
}

bool GuardedReadRows(Decoder& d, unsigned char* first, std::size_t stride) {
    if (setjmp(d.err.jump)) return false;
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = first + d.info.output_scanline * stride;
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

[[noreturn]] void Fail(const Decoder& d) {
    throw JpegError(std::string("Cannot decode the JPEG picture: ") + d.err.message);
}

class DestroyOnExit {
  public:
    explicit DestroyOnExit(Decoder& d) : d_(d) {}
    ~DestroyOnExit() { jpeg_destroy_decompress(&d_.info); }
    DestroyOnExit(const DestroyOnExit&) = delete;
    DestroyOnExit& operator=(const DestroyOnExit&) = delete;

  private:
    Decoder& d_;
};

void CheckSize(const jpeg_decompress_struct& info) {
    const std::size_t pixels = std::size_t{info.image_width} * info.image_height;
    if (pixels > kMaxPixels) {
        throw JpegError("Cannot decode the JPEG picture: " + std::to_string(info.image_width) +
                        " x " + std::to_string(info.image_height) + " pixels is too large");
    }
}

// Adobe writes CMYK inverted (255 = no ink); without its marker the plain convention is assumed.
void CmykToRgb(const unsigned char* cmyk, unsigned char* rgb, std::size_t width, bool inverted) {
    for (std::size_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int i = 0; i < 3; ++i) {
            const unsigned c = inverted ? cmyk[i] : 255u - cmyk[i];
            rgb[i] = static_cast<unsigned char>(c * k / 255u);
        }
    }
}

void GrayToRgb(const unsigned char* gray, unsigned char* rgb, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, rgb += 3) rgb[0] = rgb[1] = rgb[2] = gray[x];
}

QImage AllocateImage(const jpeg_decompress_struct& info) {
    QImage image(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                 QImage::Format_RGB888);
    if (image.isNull()) throw JpegError("Cannot decode the JPEG picture: out of memory");
    return image;
}

// Gray and CMYK rows are read whole into a side buffer and then turned into RGB.
void ReadConverted(Decoder& d, QImage& image) {
    const std::size_t width = d.info.output_width;
    const std::size_t components = static_cast<std::size_t>(d.info.output_components);
    std::vector<unsigned char> raw(width * components * d.info.output_height);
    if (!GuardedReadRows(d, raw.data(), width * components)) Fail(d);
    const bool inverted = d.info.saw_Adobe_marker;
    for (int y = 0; y < image.height(); ++y) {
        const unsigned char* src = raw.data() + static_cast<std::size_t>(y) * width * components;
        if (components == 1) {
            GrayToRgb(src, image.scanLine(y), width);
        } else {
            CmykToRgb(src, image.scanLine(y), width, inverted);
        }
    }
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    Decoder d{};
    d.info.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = OnFatalError;
    d.err.pub.emit_message = OnMessage;
    DestroyOnExit destroy(d);

    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    if (!GuardedReadHeader(d, bytes, static_cast<unsigned long>(data.size()))) Fail(d);
    CheckSize(d.info);
    if (!GuardedStart(d)) Fail(d);

    QImage image = AllocateImage(d.info);
    if (d.info.output_components == 3) {
        if (!GuardedReadRows(d, image.bits(), static_cast<std::size_t>(image.bytesPerLine())))
            Fail(d);
    } else {
        ReadConverted(d, image);
    }
    return image;
}
