// Draws the host's images into install/Resources/ (and the program icon),
// each also at twice its size as "name@2x.png" for screens that scale up.
// Run by hand after a change of style; the rendered files are committed so
// the build needs no drawing step:
//   cmake --build <build> --target draw_host_images && <build>/host/tools/draw_host_images <repo>/install
#include "render_picture.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const QColor kAccent(0x2F, 0x6F, 0xEB);
const QColor kAccentDark(0x24, 0x59, 0xC4);
const QColor kAmber(0xF2, 0xA1, 0x1B);

void Alert(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawEllipse(QRectF(2, 2, 44, 44));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(21.5, 11, 5, 18), 2.5, 2.5);
    p.drawEllipse(QRectF(21.5, 32, 5, 5));
}

// The program's picture, 128 x 128: a photo card whose corner folds into a
// second card, one format becoming another.
void AppPicture(QPainter& p, bool alternate) {
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
}

// A 48 x 48 line glyph in the accent colour.
draw_tools::Drawing Glyph(void (*draw)(QPainter&)) {
    return [draw](QPainter& p) {
        p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        draw(p);
    };
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

// The 16 x 16 chevrons of the update list's details.
void Chevron(QPainter& p, bool down, bool pressed) {
    p.setPen(QPen(pressed ? kAccentDark : kAccent, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (down) {
        p.drawLine(QPointF(4, 6), QPointF(8, 10));
        p.drawLine(QPointF(8, 10), QPointF(12, 6));
    } else {
        p.drawLine(QPointF(4, 10), QPointF(8, 6));
        p.drawLine(QPointF(8, 6), QPointF(12, 10));
    }
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
    const QString install = QString::fromLocal8Bit(argv[1]);
    const QString root = install + "/Resources";
    using draw_tools::Render;
    for (int k : {1, 2}) {
        for (bool pressed : {false, true}) {
            const auto close = [pressed](QPainter& p) { draw_tools::CaptionButton(p, pressed, draw_tools::CloseGlyph); };
            Render(root, pressed ? "close-pressed.png" : "close-normal.png", 24, 24, k, close);
            Render(root, pressed ? "dialog/slide-down-pressed.png" : "dialog/slide-down-normal.png", 16, 16, k,
                   [pressed](QPainter& p) { Chevron(p, true, pressed); });
            Render(root, pressed ? "dialog/take-back-pressed.png" : "dialog/take-back-normal.png", 16, 16, k,
                   [pressed](QPainter& p) { Chevron(p, false, pressed); });
        }
        Render(root, "alert.png", 48, 48, k, Alert);
        WriteSpinnerGif(root + (k == 1 ? "/loading.gif" : "/loading@2x.gif"), k);
        Render(root, "preview-edit.png", 48, 48, k, Glyph(DrawEdit));
        Render(root, "backup-restore.png", 48, 48, k, Glyph(DrawRestore));
        Render(root, "super-toolkit.png", 48, 48, k, Glyph(DrawToolkit));
        Render(root, "application128x128.png", 128, 128, k, [](QPainter& p) { AppPicture(p, false); });
        Render(root, "application128x128-2.png", 128, 128, k, [](QPainter& p) { AppPicture(p, true); });
    }
    // The desktop's icon theme wants the smaller sizes drawn, not scaled.
    const auto icon = [](QPainter& p) { AppPicture(p, false); };
    draw_tools::Save(draw_tools::Draw(128, 128, 2.0, icon), install + "/share/quillmarsh-pix-bridge.png");
    draw_tools::Save(draw_tools::Draw(128, 128, 1.0, icon), install + "/share/quillmarsh-pix-bridge-128.png");
    draw_tools::Save(draw_tools::Draw(128, 128, 48 / 128.0, icon), install + "/share/quillmarsh-pix-bridge-48.png");
    return 0;
}
