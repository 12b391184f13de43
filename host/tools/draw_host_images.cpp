// Draws the host's images into install/Resources/ (and the program icon),
// each also at twice its size as "name@2x.png" for screens that scale up.
// Run by hand after a change of style; the rendered files are committed so
// the build needs no drawing step:
//   cmake --build <build> --target draw_host_images && <build>/host/tools/draw_host_images <repo>/install
#include <QFile>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const QColor kAccent(0x2F, 0x6F, 0xEB);
const QColor kAccentDark(0x24, 0x59, 0xC4);
const QColor kInk(0x3C, 0x46, 0x55);
const QColor kMuted(0x8A, 0x94, 0xA3);
const QColor kAmber(0xF2, 0xA1, 0x1B);

// A transparent picture of w x h layout pixels drawn k times as fine.
QImage Canvas(int w, int h, int k = 1) {
    QImage image(w * k, h * k, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void Save(const QImage& image, const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    if (!image.save(path, "PNG")) fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QImage CloseButton(bool pressed, int k) {
    QImage image = Canvas(24, 24, k);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(k, k);
    if (pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 28));
        p.drawEllipse(QRectF(1, 1, 22, 22));
    }
    p.setPen(QPen(pressed ? kInk : kMuted, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
    return image;
}

QImage Alert(int k) {
    QImage image = Canvas(48, 48, k);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(k, k);
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawEllipse(QRectF(2, 2, 44, 44));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(21.5, 11, 5, 18), 2.5, 2.5);
    p.drawEllipse(QRectF(21.5, 32, 5, 5));
    return image;
}

// The program's picture: a photo card whose corner folds into a second card,
// one format becoming another.
QImage AppPicture(int size, bool alternate) {
    QImage image = Canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 128.0;
    p.scale(s, s);
    QLinearGradient back(0, 0, 128, 128);
    back.setColorAt(0, alternate ? QColor(0x1F, 0xA3, 0x8A) : QColor(0x4C, 0x8D, 0xF6));
    back.setColorAt(1, alternate ? QColor(0x13, 0x7A, 0x67) : kAccentDark);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(8, 8, 112, 112), 26, 26);
    // Rear card.
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawRoundedRect(QRectF(40, 26, 60, 48), 8, 8);
    // Front card with a landscape.
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(26, 48, 64, 52), 9, 9);
    QPainterPath hills;
    hills.moveTo(32, 92);
    hills.lineTo(50, 70);
    hills.lineTo(62, 84);
    hills.lineTo(70, 76);
    hills.lineTo(84, 92);
    hills.closeSubpath();
    p.setBrush(alternate ? QColor(0x1F, 0xA3, 0x8A) : kAccent);
    p.drawPath(hills);
    p.setBrush(kAmber);
    p.drawEllipse(QRectF(70, 56, 10, 10));
    // The bridge: an arc from the rear card to the front one.
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath arc;
    arc.moveTo(96, 82);
    arc.cubicTo(106, 82, 108, 60, 100, 52);
    p.drawPath(arc);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    QPainterPath head;
    head.moveTo(93, 46);
    head.lineTo(106, 47);
    head.lineTo(101, 59);
    head.closeSubpath();
    p.drawPath(head);
    return image;
}

QImage Glyph(int size, const QColor& colour, void (*draw)(QPainter&)) {
    QImage image = Canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    draw(p);
    return image;
}

void DrawEdit(QPainter& p) {
    p.drawRoundedRect(QRectF(8, 10, 26, 28), 4, 4);
    p.drawLine(QPointF(22, 30), QPointF(40, 12));
    p.drawLine(QPointF(36, 8), QPointF(44, 16));
}

void DrawRestore(QPainter& p) {
    p.drawArc(QRectF(8, 8, 32, 32), 40 * 16, 280 * 16);
    p.drawLine(QPointF(36, 6), QPointF(37, 15));
    p.drawLine(QPointF(37, 15), QPointF(28, 14));
    p.drawLine(QPointF(24, 16), QPointF(24, 25));
    p.drawLine(QPointF(24, 25), QPointF(31, 29));
}

void DrawToolkit(QPainter& p) {
    p.drawRoundedRect(QRectF(6, 16, 36, 24), 4, 4);
    p.drawLine(QPointF(18, 16), QPointF(18, 10));
    p.drawLine(QPointF(18, 10), QPointF(30, 10));
    p.drawLine(QPointF(30, 10), QPointF(30, 16));
    p.drawLine(QPointF(6, 26), QPointF(42, 26));
}

QImage Chevron(bool down, bool pressed, int k) {
    QImage image = Canvas(16, 16, k);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(k, k);
    p.setPen(QPen(pressed ? kAccentDark : kAccent, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (down) {
        p.drawLine(QPointF(4, 6), QPointF(8, 10));
        p.drawLine(QPointF(8, 10), QPointF(12, 6));
    } else {
        p.drawLine(QPointF(4, 10), QPointF(8, 6));
        p.drawLine(QPointF(8, 6), QPointF(12, 10));
    }
    return image;
}

// ---- an animated GIF of a spinner, on white ----

class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : out_(out) {}
    void Put(unsigned code, int bits) {
        acc_ |= code << count_;
        count_ += bits;
        while (count_ >= 8) {
            block_.push_back(static_cast<unsigned char>(acc_ & 0xFF));
            acc_ >>= 8;
            count_ -= 8;
            if (block_.size() == 255) Flush();
        }
    }
    void Finish() {
        if (count_ > 0) block_.push_back(static_cast<unsigned char>(acc_ & 0xFF));
        acc_ = 0;
        count_ = 0;
        Flush();
        out_.push_back(0);
    }

private:
    void Flush() {
        if (block_.empty()) return;
        out_.push_back(static_cast<unsigned char>(block_.size()));
        out_.insert(out_.end(), block_.begin(), block_.end());
        block_.clear();
    }
    std::vector<unsigned char>& out_;
    std::vector<unsigned char> block_;
    unsigned acc_ = 0;
    int count_ = 0;
};

// LZW with an 8-bit palette; the table resets before it would grow past 12 bits.
void Lzw(const std::vector<unsigned char>& pixels, std::vector<unsigned char>& out) {
    const int minBits = 8;
    const unsigned clear = 1u << minBits, end = clear + 1;
    out.push_back(minBits);
    BitWriter writer(out);
    std::vector<int> table(4096 * 256, -1);
    unsigned next = end + 1;
    int bits = minBits + 1;
    writer.Put(clear, bits);
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const unsigned char c = pixels[i];
        const int found = table[prefix * 256 + c];
        if (found >= 0) {
            prefix = found;
            continue;
        }
        writer.Put(static_cast<unsigned>(prefix), bits);
        if (next < 4096) {
            table[prefix * 256 + c] = static_cast<int>(next++);
            if (next > (1u << bits) && bits < 12) ++bits;
        } else {
            writer.Put(clear, bits);
            std::fill(table.begin(), table.end(), -1);
            next = end + 1;
            bits = minBits + 1;
        }
        prefix = c;
    }
    writer.Put(static_cast<unsigned>(prefix), bits);
    writer.Put(end, bits);
    writer.Finish();
}

void WriteSpinnerGif(const QString& path, int k) {
    const int side = 32 * k;
    constexpr int kFrames = 12, kDelayCs = 8;
    const auto lo = static_cast<unsigned char>(side & 0xFF), hi = static_cast<unsigned char>(side >> 8);
    std::vector<unsigned char> gif = {'G', 'I', 'F', '8', '9', 'a', lo, hi, lo, hi, 0xF7, 0, 0};
    // Palette: 256 steps from white to the accent colour.
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        gif.push_back(static_cast<unsigned char>(255 + (kAccent.red() - 255) * t));
        gif.push_back(static_cast<unsigned char>(255 + (kAccent.green() - 255) * t));
        gif.push_back(static_cast<unsigned char>(255 + (kAccent.blue() - 255) * t));
    }
    const unsigned char loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
    gif.insert(gif.end(), loop, loop + sizeof loop);
    for (int f = 0; f < kFrames; ++f) {
        QImage frame(side, side, QImage::Format_RGB32);
        frame.fill(Qt::white);
        QPainter p(&frame);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(k, k);
        p.setPen(QPen(QColor(0xE3, 0xEA, 0xF6), 3.5));
        p.drawEllipse(QRectF(5, 5, 22, 22));
        p.setPen(QPen(kAccent, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(5, 5, 22, 22), -f * 30 * 16, 100 * 16);
        p.end();
        std::vector<unsigned char> indexes;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                // Index by closeness to white along the white-to-accent line.
                const QColor c = frame.pixelColor(x, y);
                const double t = (255.0 - c.red()) / (255.0 - kAccent.red()) * 0.34 +
                                 (255.0 - c.green()) / (255.0 - kAccent.green()) * 0.33 +
                                 (255.0 - c.blue()) / (255.0 - kAccent.blue() + 1e-9) * 0.33;
                indexes.push_back(static_cast<unsigned char>(std::lround(std::clamp(t, 0.0, 1.0) * 255)));
            }
        }
        const unsigned char control[] = {0x21, 0xF9, 4, 0x04, kDelayCs, 0, 0, 0};
        gif.insert(gif.end(), control, control + sizeof control);
        const unsigned char descriptor[] = {0x2C, 0, 0, 0, 0, lo, hi, lo, hi, 0};
        gif.insert(gif.end(), descriptor, descriptor + sizeof descriptor);
        Lzw(indexes, gif);
    }
    gif.push_back(0x3B);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(gif.data()), static_cast<qint64>(gif.size())) != static_cast<qint64>(gif.size())) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s <install folder>\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + "/Resources/";
    for (int k : {1, 2}) {
        const QString x = k == 1 ? QString() : QStringLiteral("@2x");
        Save(CloseButton(false, k), root + "close-normal" + x + ".png");
        Save(CloseButton(true, k), root + "close-pressed" + x + ".png");
        Save(Alert(k), root + "alert" + x + ".png");
        WriteSpinnerGif(root + "loading" + x + ".gif", k);
        Save(Glyph(48 * k, kAccent, DrawEdit), root + "preview-edit" + x + ".png");
        Save(Glyph(48 * k, kAccent, DrawRestore), root + "backup-restore" + x + ".png");
        Save(Glyph(48 * k, kAccent, DrawToolkit), root + "super-toolkit" + x + ".png");
        Save(AppPicture(128 * k, false), root + "application128x128" + x + ".png");
        Save(AppPicture(128 * k, true), root + "application128x128-2" + x + ".png");
        Save(Chevron(true, false, k), root + "dialog/slide-down-normal" + x + ".png");
        Save(Chevron(true, true, k), root + "dialog/slide-down-pressed" + x + ".png");
        Save(Chevron(false, false, k), root + "dialog/take-back-normal" + x + ".png");
        Save(Chevron(false, true, k), root + "dialog/take-back-pressed" + x + ".png");
    }
    Save(AppPicture(256, false), QString::fromLocal8Bit(argv[1]) + "/share/quillmarsh-pix-bridge.png");
    // The desktop's icon theme wants the smaller sizes drawn, not scaled.
    Save(AppPicture(128, false), QString::fromLocal8Bit(argv[1]) + "/share/quillmarsh-pix-bridge-128.png");
    Save(AppPicture(48, false), QString::fromLocal8Bit(argv[1]) + "/share/quillmarsh-pix-bridge-48.png");
    return 0;
}
