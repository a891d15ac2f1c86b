// The icons installed for the desktop's icon theme: the window's own picture
// at 32 px, and larger sizes that repeat its pixels without blending them.
#include <QImage>
#include <QSet>
#include <QtTest>

#include "ui/app_icon.h"

namespace {

QImage drawnIcon(int size) {
    return QImage(QStringLiteral(VANTEL_ICON_DIR "/%1x%1/vantel.png").arg(size)).convertToFormat(QImage::Format_ARGB32);
}

// The source pixels that output pixel `i` of `outSize` covers, along one axis.
std::pair<int, int> coveredSourcePixels(int i, int outSize, int sourceSize) {
    return {i * sourceSize / outSize, ((i + 1) * sourceSize - 1) / outSize};
}

}  // namespace

class IconFilesTest : public QObject {
    Q_OBJECT

private slots:
    void theSmallestIsTheWindowsOwnPicture() {
        const QImage window = vantel::ui::appIconImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(window.size(), QSize(32, 32));
        QCOMPARE(drawnIcon(32), window);
    }

    void largerSizesRepeatPixelsWithoutBlending() {
        const QImage source = drawnIcon(32);
        QVERIFY(!source.isNull());
        QSet<QRgb> sourceColours;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) sourceColours.insert(source.pixel(x, y));
        QVERIFY(sourceColours.size() > 2);

        for (const int size : {48, 128}) {
            const QImage icon = drawnIcon(size);
            QCOMPARE(icon.size(), QSize(size, size));
            // Every output pixel is a copy of a source pixel under it...
            std::vector<std::vector<bool>> shown(32, std::vector<bool>(32, false));
            for (int y = 0; y < size; ++y) {
                const auto [y0, y1] = coveredSourcePixels(y, size, 32);
                for (int x = 0; x < size; ++x) {
                    const auto [x0, x1] = coveredSourcePixels(x, size, 32);
                    bool copied = false;
                    for (int sy = y0; sy <= y1; ++sy) {
                        for (int sx = x0; sx <= x1; ++sx) {
                            if (icon.pixel(x, y) == source.pixel(sx, sy)) {
                                copied = true;
                                shown[sy][sx] = true;
                            }
                        }
                    }
                    if (!copied) QFAIL(qPrintable(QString("%1 px: pixel %2,%3 is no source pixel").arg(size).arg(x).arg(y)));
                }
            }
            // ...and no source pixel is lost.
            for (int sy = 0; sy < 32; ++sy)
                for (int sx = 0; sx < 32; ++sx)
                    if (!shown[sy][sx]) QFAIL(qPrintable(QString("%1 px: source pixel %2,%3 missing").arg(size).arg(sx).arg(sy)));
        }
    }
};

QTEST_GUILESS_MAIN(IconFilesTest)
#include "icon_files_test.moc"
