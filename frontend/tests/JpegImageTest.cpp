// clang-format off
// jpeglib.h needs size_t and FILE declared before it
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <QFile>
#include <QtTest>
#include <cstdlib>
#include <vector>

#include "JpegImage.h"

namespace {

QByteArray BundledPicture() {
    QFile file(":/about.jpg");
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// Encodes a uniform 16 x 8 picture of one pixel value with the given stored colour space.
QByteArray EncodeUniform(J_COLOR_SPACE space, std::vector<unsigned char> pixel,
                         bool adobeMarker = true) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = 16;
    info.image_height = 8;
    info.input_components = static_cast<int>(pixel.size());
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    if (!adobeMarker) info.write_Adobe_marker = FALSE;
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row;
    for (unsigned x = 0; x < info.image_width; ++x)
        row.insert(row.end(), pixel.begin(), pixel.end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray result(reinterpret_cast<const char*>(out), static_cast<qsizetype>(outSize));
    std::free(out);
    return result;
}

// Replaces the bytes of the first marker `code` found after SOI with `with`, from `offset` on.
QByteArray PatchMarker(QByteArray data, unsigned char code, int offset, const QByteArray& with) {
    const int at = data.indexOf(QByteArray("\xFF") + char(code), 2);
    if (at >= 0) data.replace(at + offset, with.size(), with);
    return data;
}

bool Near(QRgb pixel, QRgb expected, int tolerance = 4) {
    return std::abs(qRed(pixel) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(pixel) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(expected)) <= tolerance;
}

}  // namespace

class JpegImageTest : public QObject {
    Q_OBJECT

  private slots:
    void bundledPictureIsSeventyByHundred() {
        const QImage image = DecodeJpeg(BundledPicture());
        QCOMPARE(image.size(), QSize(70, 100));
        QCOMPARE(image.format(), QImage::Format_RGB888);
        QVERIFY(Near(image.pixel(0, 0), qRgb(255, 255, 255), 8));  // white margin
        QVERIFY(Near(image.pixel(6, 30), qRgb(0, 0, 128), 24));    // navy monitor frame
    }

    // Each stored colour space ends as RGB with the colour it was written with.
    void colourSpacesBecomeRgb_data() {
        QTest::addColumn<int>("space");
        QTest::addColumn<QByteArray>("pixel");
        QTest::addColumn<bool>("adobe");
        QTest::addColumn<uint>("expected");
        QTest::newRow("gray") << int(JCS_GRAYSCALE) << QByteArray("\xC8", 1) << true
                              << qRgb(200, 200, 200);
        QTest::newRow("rgb red") << int(JCS_RGB) << QByteArray("\xFF\x00\x00", 3) << true
                                 << qRgb(255, 0, 0);
        // libjpeg writes an Adobe marker with CMYK, which means inverted values: 255 = no ink
        QTest::newRow("cmyk no ink")
            << int(JCS_CMYK) << QByteArray("\xFF\xFF\xFF\xFF", 4) << true << qRgb(255, 255, 255);
        QTest::newRow("cmyk full black")
            << int(JCS_CMYK) << QByteArray("\xFF\xFF\xFF\x00", 4) << true << qRgb(0, 0, 0);
        QTest::newRow("cmyk cyan")
            << int(JCS_CMYK) << QByteArray("\x00\xFF\xFF\xFF", 4) << true << qRgb(0, 255, 255);
        // without the marker CMYK is plain: 0 = no ink
        QTest::newRow("plain cmyk no ink")
            << int(JCS_CMYK) << QByteArray("\0\0\0\0", 4) << false << qRgb(255, 255, 255);
        QTest::newRow("plain cmyk black")
            << int(JCS_CMYK) << QByteArray("\0\0\0\xFF", 4) << false << qRgb(0, 0, 0);
    }
    void colourSpacesBecomeRgb() {
        QFETCH(int, space);
        QFETCH(QByteArray, pixel);
        QFETCH(bool, adobe);
        QFETCH(uint, expected);
        const std::vector<unsigned char> bytes(pixel.begin(), pixel.end());
        const QImage image = DecodeJpeg(EncodeUniform(J_COLOR_SPACE(space), bytes, adobe));
        QCOMPARE(image.size(), QSize(16, 8));
        QCOMPARE(image.format(), QImage::Format_RGB888);
        QVERIFY2(Near(image.pixel(15, 7), expected),
                 qPrintable(QString::number(image.pixel(15, 7), 16)));
    }

    // Broken input is refused with libjpeg's reason; nothing is read beyond the buffer
    // (the sanitizer build checks that) and nothing half-decoded is returned.
    void brokenDataIsRefused_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("reason");
        const QByteArray good = BundledPicture();
        QTest::newRow("empty") << QByteArray() << QString("empty");
        QTest::newRow("not a jpeg")
            << QByteArray("GIF89a\x01\x00\x01\x00", 10) << QString("Not a JPEG");
        QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2) << QString("");
        QTest::newRow("header only") << good.left(good.indexOf("\xFF\xDA")) << QString("");
        QTest::newRow("truncated in the scan")
            << good.left(good.size() / 2) << QString("Premature end");
        QTest::newRow("last byte missing") << good.left(good.size() - 1) << QString("");
        QTest::newRow("end marker inside the scan")
            << good.left(good.size() - 600) + QByteArray("\xFF\xD9", 2) << QString("");
        // Past the scan, where only the end of the decoding looks
        QTest::newRow("junk after the last row")
            << good.left(good.size() - 2) + QByteArray("\xFF\xFE\x00\x03!\x00\x00\xFF\xD9", 9)
            << QString("extraneous bytes");
        QTest::newRow("unknown marker") << PatchMarker(good, 0xDA, 1, "\x02") << QString("");
        QTest::newRow("zero width")
            << PatchMarker(good, 0xC0, 7, QByteArray(2, '\0')) << QString("");
    }
    void brokenDataIsRefused() {
        QFETCH(QByteArray, data);
        QFETCH(QString, reason);
        try {
            DecodeJpeg(data);
            QFAIL("decoded without an error");
        } catch (const JpegError& error) {
            const QString message = error.what();
            QVERIFY2(message.startsWith("Cannot decode the JPEG picture: "), error.what());
            QVERIFY2(message.size() > 32, error.what());
            QVERIFY2(message.contains(reason, Qt::CaseInsensitive), error.what());
        }
    }

    void hugePictureIsRefusedBeforeDecoding() {
        // SOF0: FF C0, length (2), precision (1), height (2), width (2)
        const QByteArray huge = PatchMarker(EncodeUniform(JCS_RGB, {0, 0, 0}), 0xC0, 5,
                                            QByteArray("\xFF\x00\xFF\x00", 4));
        QVERIFY_THROWS_EXCEPTION(JpegError, DecodeJpeg(huge));
    }
};

QTEST_GUILESS_MAIN(JpegImageTest)
#include "JpegImageTest.moc"
