#include "canvas/utils.h"

#include <bedrock/bas_utility_string.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QPainter>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <string>

namespace Utils {

std::u16string GetDllModuleDir(void* instanceOrAddress) {
    std::string path;
    Dl_info info{};
    link_map* map = nullptr;
    static void* const programHandle = dlopen(nullptr, RTLD_NOW);
    // An address inside a loaded object is found by dladdr; a dlopen handle
    // is not such an address (it lives in the loader's heap), so it is asked
    // for its link map instead. The program's own handle means the program.
    if (instanceOrAddress && instanceOrAddress != programHandle) {
        if (dladdr(instanceOrAddress, &info) && info.dli_fname && *info.dli_fname) {
            path = info.dli_fname;
        } else if (dlinfo(instanceOrAddress, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) {
            path = map->l_name;
        }
    }
    if (path.empty()) {
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) path.assign(buf, static_cast<size_t>(n));
    }
    const size_t slash = path.rfind('/');
    return BASUtilityString::Utf8ToUtf16(slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1));
}

QFont* GetHFONT(int heightPx, int languageFlag, bool bold, const char* face) {
    auto* font = new QFont();
    QStringList families{QString::fromUtf8(face && *face ? face : "Arial"), QStringLiteral("Liberation Sans")};
    families << (languageFlag == 0 ? QStringLiteral("Noto Sans CJK SC") : QStringLiteral("Noto Sans CJK JP"));
    families << QStringLiteral("Noto Sans CJK TC");
    font->setFamilies(families);
    font->setPixelSize(heightPx > 0 ? heightPx : 1);
    font->setWeight(bold ? QFont::Bold : QFont::Normal);
    font->setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont* GetFont(QPaintDevice*, int heightPx, int languageFlag, bool bold, const char* face) {
    return GetHFONT(heightPx, languageFlag, bold, face);
}

void DrawImage(QPainter& painter, const QImage* image, const QRect& rect) {
    if (!image || image->isNull() || rect.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(rect, *image);
    painter.restore();
}

void DrawTextInRect(QPainter& painter, const QString& text, const QFont* font, const QColor& color, const QRect& rect,
                    int alignment, bool wrap) {
    painter.save();
    if (font) painter.setFont(*font);
    painter.setPen(color);
    if (wrap) {
        painter.drawText(rect, alignment | Qt::TextWordWrap, text);
    } else {
        const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, rect.width());
        painter.drawText(rect, alignment | Qt::TextSingleLine, shown);
    }
    painter.restore();
}

void DrawTextCenter(QPainter& painter, const QString& text, const QFont* font, const QColor& color, const QRect& rect) {
    DrawTextInRect(painter, text, font, color, rect, Qt::AlignCenter, false);
}

void DrawTextW(QPainter& painter, const QString& text, const QFont* font, const QColor& color, int x, int y) {
    painter.save();
    if (font) painter.setFont(*font);
    painter.setPen(color);
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()), text);
    painter.restore();
}

QPainterPath CreateRoundRect(const QRectF& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

namespace {

// <A HREF="url">text</A>, as the link control writes it; case and spacing free.
const QRegularExpression& LinkPattern() {
    static const QRegularExpression pattern(
        QString::fromUtf8(R"re(<a\s+href\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]*))\s*>(.*?)</a\s*>)re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

}  // namespace

std::u16string PickLinkShowContent(const std::u16string& markup) {
    const QString text = QString::fromStdU16String(markup);
    QString visible;
    qsizetype from = 0;
    bool anyLink = false;
    auto it = LinkPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        anyLink = true;
        visible += text.mid(from, m.capturedStart() - from);
        visible += m.captured(4);
        from = m.capturedEnd();
    }
    if (!anyLink) return std::u16string();
    visible += text.mid(from);
    return visible.toStdU16String();
}

QString LinkMarkupToHtml(const std::u16string& markup) {
    const QString text = QString::fromStdU16String(markup);
    QString html;
    qsizetype from = 0;
    auto it = LinkPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        html += text.mid(from, m.capturedStart() - from).toHtmlEscaped();
        QString href = m.captured(1);
        if (href.isEmpty()) href = m.captured(2);
        if (href.isEmpty()) href = m.captured(3);
        html += QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), m.captured(4).toHtmlEscaped());
        from = m.capturedEnd();
    }
    html += text.mid(from).toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return html;
}

std::u16string FindIfMatchW(const std::u16string& text, const std::u16string& pattern) {
    const QRegularExpression re(QString::fromStdU16String(pattern));
    if (!re.isValid()) return std::u16string();
    const QRegularExpressionMatch m = re.match(QString::fromStdU16String(text));
    return m.hasMatch() ? m.captured(0).toStdU16String() : std::u16string();
}

bool StoreGifInternal(const QString& path, std::vector<QImage>* frames, std::vector<int>* delaysMs) {
    QImageReader reader(path);
    if (!reader.canRead()) return false;
    // A hostile file could claim endless frames; a spinner never needs many.
    constexpr int kMaxFrames = 256;
    int count = 0;
    for (; count < kMaxFrames && reader.canRead(); ++count) {
        QImage frame = reader.read();
        if (frame.isNull()) break;
        const int delay = reader.nextImageDelay();
        if (frames) frames->push_back(std::move(frame));
        if (delaysMs) delaysMs->push_back(delay > 0 ? delay : 100);
    }
    return count > 0;
}

}  // namespace Utils
