// Draws the editor's images and icons into the folder given as the only argument, so the
// repository carries no binary artwork.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Three stacked, slanted sheets: the dictionary table's faint watermark.
QImage layersEmblem()
{
    QImage image = canvas(1024, 1024);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(255, 255, 255, 14);
    p.setPen(QPen(ink, 18, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (int layer = 2; layer >= 0; --layer) {
        const qreal y = 400 + layer * 90;
        QPainterPath sheet;
        sheet.moveTo(512, y - 110);
        sheet.lineTo(712, y);
        sheet.lineTo(512, y + 110);
        sheet.lineTo(312, y);
        sheet.closeSubpath();
        if (layer == 0)
            p.fillPath(sheet, ink);
        p.drawPath(sheet);
    }
    return image;
}

// A painter's palette with paint wells: the materials table's watermark.
QImage paletteEmblem()
{
    QImage image = canvas(1024, 1024);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath board;
    board.addEllipse(QPointF(512, 512), 230, 190);
    QPainterPath thumb;
    thumb.addEllipse(QPointF(590, 610), 38, 32);
    p.fillPath(board.subtracted(thumb), QColor(14, 14, 16, 200));
    const QPointF wells[] = {{400, 440}, {480, 390}, {570, 395}, {640, 460}, {420, 540}};
    for (const QPointF& well : wells) {
        p.setBrush(QColor(32, 32, 38, 220));
        p.setPen(Qt::NoPen);
        p.drawEllipse(well, 30, 30);
    }
    return image;
}

QImage saveIcon()
{
    QImage image = canvas(128, 128);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.moveTo(14, 14);
    body.lineTo(96, 14);
    body.lineTo(114, 32);
    body.lineTo(114, 114);
    body.lineTo(14, 114);
    body.closeSubpath();
    p.fillPath(body, QColor(50, 140, 255));
    p.fillRect(QRectF(34, 14, 54, 34), QColor(225, 232, 240));
    p.fillRect(QRectF(70, 20, 12, 22), QColor(50, 140, 255));
    p.fillRect(QRectF(30, 66, 68, 48), QColor(245, 245, 245));
    return image;
}

// A ring with a tail, the project's mark, in `color` on `size` x `size`.
QImage mark(int size, const QColor& color)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 32.0;
    p.setPen(QPen(color, 4.5 * unit, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(QPointF(15 * unit, 15 * unit), 10 * unit, 10 * unit);
    p.drawLine(QPointF(21 * unit, 21 * unit), QPointF(28 * unit, 28 * unit));
    return image;
}

// The dialog shows its logo unscaled next to a 29 px high caption, so it stays small.
QImage dialogLogo()
{
    QImage image = canvas(96, 28);
    QPainter p(&image);
    p.drawImage(0, 0, mark(28, QColor(220, 50, 50)));
    p.fillRect(QRectF(36, 8, 56, 4), QColor(255, 255, 255, 200));
    p.fillRect(QRectF(36, 16, 40, 4), QColor(50, 140, 255));
    return image;
}

QImage appIcon()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 40, 48));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 36, 36);
    p.drawImage(32, 32, mark(192, QColor(220, 50, 50)));
    return image;
}

bool save(const QImage& image, const QString& path, const char* format)
{
    QImageWriter writer(path, format);
    if (writer.write(image))
        return true;
    std::fprintf(stderr, "makeimages: cannot write %s: %s\n", qPrintable(path),
                 qPrintable(writer.errorString()));
    return false;
}

// Without Qt's ico plugin the icons are written as PNG data; QIcon and QPixmap read those by
// content, whatever the name says.
bool saveIco(const QImage& image, const QString& path)
{
    if (QImageWriter::supportedImageFormats().contains("ico"))
        return save(image, path, "ico");
    std::fprintf(stderr, "makeimages: no ico writer, %s holds PNG data\n", qPrintable(path));
    return save(image, path, "png");
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "makeimages: cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = save(layersEmblem(), out.filePath(QStringLiteral("avatar_male.png")), "png");
    ok = save(paletteEmblem(), out.filePath(QStringLiteral("avatar_male1.png")), "png") && ok;
    ok = save(saveIcon(), out.filePath(QStringLiteral("save_as.png")), "png") && ok;
    ok = saveIco(mark(32, QColor(220, 50, 50)), out.filePath(QStringLiteral("qr_red.ico"))) && ok;
    ok = saveIco(dialogLogo(), out.filePath(QStringLiteral("qr_logo_256.ico"))) && ok;
    ok = save(appIcon(), out.filePath(QStringLiteral("lathrine.png")), "png") && ok;
    return ok ? 0 : 1;
}
