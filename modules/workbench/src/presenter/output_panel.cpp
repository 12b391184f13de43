#include "presenter/output_panel.h"

#include "module/module_catalog.h"
#include "photo/photo_list_interfaces.h"
#include "presenter/vo_up_down.h"

#include <bedrock/bas_user_defaults.h>
#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/utils.h>
#include <canvas/vo_edit.h>
#include <canvas/vo_img_button.h>
#include <canvas/vo_switch_button.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

const QColor kBorder(0xDC, 0xDC, 0xDC);
const QColor kPanel(0xF9, 0xF9, 0xF9);

// Up and Down in the quality box step the up-down beside it, as arrow keys
// in a box with an up-down buddy do.
class StepKeys : public QObject {
public:
    StepKeys(QObject* parent, VoUpDown* upDown) : QObject(parent), upDown_(upDown) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                upDown_->Step(key == Qt::Key_Up ? +1 : -1);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    VoUpDown* upDown_;
};

}  // namespace

OutputPanel::OutputPanel(QWidget* window, const ViewResources& resources, PhotoChooser* chooser,
                         std::function<void()> formatChanged)
    : window_(window), res_(resources), chooser_(chooser), formatChanged_(std::move(formatChanged)) {
    if (const BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) {
        if (const char* folder = standard->GetString(kFolderKey)) outputFolder_ = BASUtilityString::Utf8ToUtf16(folder);
        // Only a size the panel offers: a hand-edited store cannot ask for
        // one the photo module would refuse.
        const int64_t stored = standard->GetInt(kMaxEdgeKey, 0);
        if (std::find(std::begin(kMaxEdges), std::end(kMaxEdges), stored) != std::end(kMaxEdges)) {
            maxEdge_ = static_cast<int>(stored);
        }
    }
}

OutputPanel::~OutputPanel() { QObject::disconnect(focusWatch_); }

// ---- creation ----

void OutputPanel::Create() {
    const QColor normal = res_.Colour("color:default:button:normal", QColor(0x2F, 0x6F, 0xEB));
    const QColor pressed = res_.Colour("color:default:button:pressed", QColor(0x24, 0x59, 0xC4));

    format_ = new QComboBox(window_);  // a child: owned by the window
    format_->addItem(QStringLiteral("JPEG/JPG"));
    format_->addItem(QStringLiteral("PNG"));
    format_->setCurrentIndex(0);
    format_->setFont(res_.Font("font:16:normal"));
    format_->setAccessibleName(ViewResources::Tr(u"output-format"));
    QObject::connect(format_, QOverload<int>::of(&QComboBox::currentIndexChanged), window_,
                     [this](int index) { SetFormat(index); });

    keepExif_ = new VoImgButton();  // a child of the window from CreateButton on
    keepExif_->SetDpiScale(res_.DpiScale());
    keepExif_->CreateButton(window_, kKeepExif, 1);
    keepExif_->Init(res_.Image("right/on.png"), 0, 0, res_.Image("right/on.png"));
    keepExif_->SetBkgColor(kPanel);
    keepExif_->SetTooltip(ViewResources::Tr(u"keep-exif-data"));

    qualityBox_ = new VoEdit();  // a child of the window from Create on
    qualityBox_->Create(window_, QRect(), QStringLiteral("100%"), VoEdit::kSingleLine, kQualityBox);
    qualityBox_->SetFont(&res_.Font("font:16:normal"));
    qualityBox_->SetAccessibleName(ViewResources::Tr(u"quality"));
    qualityBox_->LineEdit()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = qualityBox_->LineEdit()->palette();
    palette.setColor(QPalette::Base, kPanel);
    qualityBox_->LineEdit()->setPalette(palette);

    upDown_ = new VoUpDown(window_);  // a child: owned by the window
    upDown_->setAccessibleName(ViewResources::Tr(u"quality"));
    upDown_->SetPosition(100);
    upDown_->SetChanged([this](int position) {
        ShowQuality(position);
        quality_ = position;
        trackBar_.SetValue(position);
    });

    qualityBox_->LineEdit()->installEventFilter(new StepKeys(qualityBox_, upDown_));  // owned by the box

    hint_ = new VoImgButton();  // a child of the window from CreateButton on
    hint_->SetDpiScale(1.0f);
    hint_->CreateButton(window_, kHint, 0);
    hint_->Init(res_.HostImage("alert.png"), 0, 0, res_.HostImage("alert.png"));
    hint_->resize(res_.D(12), res_.D(12));
    hint_->SetBkgColor(kPanel);
    hint_->SetTooltip(ViewResources::Tr(u"jpeg-quality-percent-recommend"));

    trackBar_.Create(window_);
    trackBar_.Thumb()->setAccessibleName(ViewResources::Tr(u"quality"));
    trackBar_.SetThickness(res_.D(6));
    trackBar_.SetColours(res_.Colour("color:quality:trackbar:thumb", QColor()),
                         res_.Colour("color:quality:trackbar:channel:highlight", QColor()));
    trackBar_.SetCallback([this](int value) {
        quality_ = value;
        ShowQuality(value);
        upDown_->SetPosition(value);
    });

    size_ = new QComboBox(window_);  // a child: owned by the window
    for (const int edge : kMaxEdges) {
        size_->addItem(edge == 0 ? ViewResources::Tr(u"output-size-original")
                                 : Q(BASUtilityString::Format(TranslateConverter(u"output-size-long-edge-%d").c_str(), edge)),
                       edge);
    }
    size_->setCurrentIndex(std::max(0, size_->findData(maxEdge_)));
    size_->setFont(res_.Font("font:16:normal"));
    size_->setAccessibleName(ViewResources::Tr(u"output-size"));
    QObject::connect(size_, QOverload<int>::of(&QComboBox::currentIndexChanged), window_,
                     [this](int index) { SetMaxEdge(size_->itemData(index).toInt()); });

    auto button = [&](int id, const QString& text, const char* font) {
        auto* b = new VoSwitchButton();  // a child of the window from CreateButton on
        b->SetDpiScale(res_.DpiScale());
        b->CreateButton(window_, &res_.Font(font), id);
        b->SetHMargin(res_.D(12));
        b->SetVMargin(res_.D(6));
        b->SetRoundRect(true);
        b->SetRoundRectPoint(res_.D(4), res_.D(4));
        b->Init(text, normal, Qt::white, pressed, Qt::white);
        return b;
    };
    browse_ = button(kBrowse, QStringLiteral("..."), "font:gdiplus:16:normal");
    browse_->setAccessibleName(ViewResources::Tr(u"select-dir"));
    folderBox_ = new VoEdit();  // a child of the window from Create on
    folderBox_->Create(window_, QRect(), Q(outputFolder_), VoEdit::kSingleLine | VoEdit::kReadOnly, kFolderBox);
    folderBox_->SetFont(&res_.Font("font:17:normal"));
    folderBox_->SetAccessibleName(ViewResources::Tr(u"output-folder"));
    folderBox_->LineEdit()->setPalette(palette);
    openFolder_ = button(kOpenFolder, ViewResources::Tr(u"open-folder"), "font:gdiplus:16:normal");
    convert_ = button(kConvert, ViewResources::Tr(u"convert"), "font:gdiplus:17:bold");
    // The one button that does the work: filled, white text.
    convert_->Init(ViewResources::Tr(u"convert"), Qt::white, normal, Qt::white, pressed);
    convert_->SetColorBorder(normal);
    convert_->setDefault(false);
    convert_->setToolTip(ViewResources::Tr(u"convert-tooltip"));
    ShowQuality(100);
    trackBar_.SetValue(100);

    // The two boxes have no frame of their own: their drawn borders show the
    // keyboard's place. Guarded pointers: the focus also moves while the
    // window takes its controls down.
    const QPointer<QWidget> window = window_;
    const QPointer<QLineEdit> quality = qualityBox_->LineEdit();
    const QPointer<QLineEdit> folder = folderBox_->LineEdit();
    focusWatch_ = QObject::connect(qApp, &QApplication::focusChanged, window_, [=](QWidget* from, QWidget* to) {
        const bool box = (quality && (from == quality || to == quality)) || (folder && (from == folder || to == folder));
        if (box && window) window->update();
    });
}

std::vector<QWidget*> OutputPanel::TabOrder() const {
    return {format_, keepExif_, qualityBox_, upDown_, size_, folderBox_, browse_, openFolder_, convert_};
}

void OutputPanel::SetVisible(bool visible) {
    for (QWidget* w : std::initializer_list<QWidget*>{format_, size_, browse_, folderBox_, openFolder_, convert_}) {
        if (w) w->setVisible(visible);
    }
    const bool jpeg = visible && outputFormat_ == 0;
    for (QWidget* w : std::initializer_list<QWidget*>{keepExif_, qualityBox_, upDown_, hint_}) {
        if (w) w->setVisible(jpeg);
    }
    trackBar_.SetVisible(jpeg);
}

// ---- layout and painting ----

QRect OutputPanel::Text(const QString& text, const char* font, int x, int y, int width) const {
    const QFontMetrics metrics(res_.Font(font));
    if (width > 0) return metrics.boundingRect(QRect(x, y, width, kUnboundedHeight), Qt::TextWordWrap, text);
    return QRect(QPoint(x, y), metrics.size(Qt::TextSingleLine, text));
}

void OutputPanel::Layout(int pl, int pr, int bottom) {
    auto d = [this](double n) { return res_.D(n); };
    panel_ = QRect(QPoint(pl, 0), QPoint(pr - 1, bottom));
    const int il = pl + d(12);
    const QString colon = QStringLiteral(":");
    formatLabel_ = Text(ViewResources::Tr(u"output-format") + colon, "font:gdiplus:16:normal", il, d(24));
    const int comboLeft = formatLabel_.right() + 1 + d(12);
    const int comboWidth = (pr - pl) - formatLabel_.width() - 3 * d(12);
    format_->setGeometry(comboLeft, formatLabel_.center().y() - d(32) / 2, comboWidth, d(32));
    int below = formatLabel_.bottom() + 1;
    if (outputFormat_ == 0) {
        exifLabel_ = Text(ViewResources::Tr(u"keep-exif-data"), "font:gdiplus:16:normal", il, below + d(24));
        keepExif_->move(comboLeft + comboWidth - keepExif_->width(), exifLabel_.center().y() - keepExif_->height() / 2);
        exifText_ = Text(ViewResources::Tr(u"exif-description"), "font:gdiplus:16:normal", il, exifLabel_.bottom() + 1 + d(16),
                         pr - pl - d(24));
        qualityLabel_ = Text(ViewResources::Tr(u"quality") + colon, "font:gdiplus:16:normal", il, exifText_.bottom() + 1 + d(24));
        const int upLeft = pr - d(12) - d(12) - d(22);
        const int upTop = qualityLabel_.center().y() - d(26) / 2;
        upDown_->setGeometry(upLeft, upTop, d(22), d(26));
        hint_->move(upLeft + d(22) + d(2), upTop);
        const int boxHeight = QFontMetrics(res_.Font("font:16:normal")).height() + d(4);
        qualityBox_->setGeometry(upLeft - d(88), upTop + (d(26) - boxHeight) / 2, d(86), boxHeight);
        qualityBorder_ = QRect(upLeft - d(90), upTop, d(90), d(26) - d(1));
        const int trackTop = qualityLabel_.bottom() + 1 + d(20);
        trackBar_.SetRect(QRect(il, trackTop, pr - pl - d(24), d(14)));
        trackBar_.SetValue(quality_);
        below = trackTop + d(14);
    }
    sizeLabel_ = Text(ViewResources::Tr(u"output-size") + colon, "font:gdiplus:16:normal", il, below + d(24));
    const int sizeLeft = sizeLabel_.right() + 1 + d(12);
    size_->setGeometry(sizeLeft, sizeLabel_.center().y() - d(32) / 2, pr - d(12) - sizeLeft, d(32));
    below = sizeLabel_.bottom() + 1;
    folderLabel_ = Text(ViewResources::Tr(u"output-folder") + colon, "font:gdiplus:16:normal", il, below + d(24));
    browse_->move(pr - d(12) - browse_->width(), folderLabel_.bottom() + 1 + d(10));
    const int folderHeight = QFontMetrics(res_.Font("font:17:normal")).height() + d(4);
    folderBox_->setGeometry(il, browse_->y() + (browse_->height() - folderHeight) / 2, browse_->x() - d(2) - il, folderHeight);
    folderBorder_ = QRect(QPoint(il - d(2), browse_->y() + d(2)), QPoint(browse_->x() - 1, browse_->geometry().bottom() - d(2)));
    openFolder_->move(il, folderBorder_.bottom() + 1 + d(12));
    convert_->setGeometry(il, bottom + 1 - d(12) - convert_->height(), pr - d(12) - il, convert_->height());
}

QPen OutputPanel::BorderPen(const VoEdit* box) const {
    // The focused box's border in the accent colour, as wide as a scaled pixel.
    if (box && box->LineEdit() && box->LineEdit()->hasFocus()) {
        return QPen(res_.Colour("color:default:button:normal", QColor(0x2F, 0x6F, 0xEB)), std::max(1, res_.D(1)));
    }
    return QPen(kBorder);
}

void OutputPanel::PaintBackground(QPainter& painter) const { painter.fillRect(panel_, kPanel); }

void OutputPanel::Paint(QPainter& painter) const {
    auto text = [&](const QString& s, const QRect& r, const QColor& c, bool wrap = false) {
        painter.setFont(res_.Font("font:gdiplus:16:normal"));
        painter.setPen(c);
        painter.drawText(r, (wrap ? Qt::TextWordWrap : Qt::TextSingleLine) | Qt::AlignLeft | Qt::AlignTop, s);
    };
    const QString colon = QStringLiteral(":");
    text(ViewResources::Tr(u"output-format") + colon, formatLabel_, Qt::black);
    if (outputFormat_ == 0) {
        text(ViewResources::Tr(u"keep-exif-data"), exifLabel_, Qt::black);
        text(ViewResources::Tr(u"exif-description"), exifText_, QColor(0x9F, 0x9F, 0x9F), true);
        text(ViewResources::Tr(u"quality") + colon, qualityLabel_, Qt::black);
        painter.setPen(BorderPen(qualityBox_));
        painter.setBrush(kPanel);
        painter.drawRect(qualityBorder_);
        trackBar_.Draw(painter);
    }
    text(ViewResources::Tr(u"output-size") + colon, sizeLabel_, Qt::black);
    text(ViewResources::Tr(u"output-folder") + colon, folderLabel_, Qt::black);
    painter.setPen(BorderPen(folderBox_));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(folderBorder_);
}

// ---- commands and settings ----

bool OutputPanel::OnCommand(int id) {
    switch (id) {
    case kBrowse:
        ChooseOutputFolder();
        return true;
    case kOpenFolder:
        if (!outputFolder_.empty()) BASUtilityApp::OpenFolder(outputFolder_);
        return true;
    case kQualityBox:
        QualityEntered();
        return true;
    case kKeepExif:
        keepExifOn_ = !keepExifOn_;
        keepExif_->SetNormalImage(res_.Image(keepExifOn_ ? "right/on.png" : "right/off.png"));
        keepExif_->SetPressedImage(res_.Image(keepExifOn_ ? "right/on.png" : "right/off.png"));
        return true;
    default:
        return false;
    }
}

void OutputPanel::SetFormat(int format) {
    if (format < 0) return;
    outputFormat_ = format;
    if (formatChanged_) formatChanged_();
}

void OutputPanel::ChooseOutputFolder() {
    std::u16string chosen;
    if (!chooser_ || !chooser_->ChooseFolder(TranslateConverter(u"select-dir"), chosen) || chosen.empty()) return;
    SetOutputFolder(chosen);
}

void OutputPanel::SetOutputFolder(const std::u16string& folder) {
    outputFolder_ = folder;
    if (folderBox_) folderBox_->SetText(Q(folder));
    if (BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) {
        standard->SetString(kFolderKey, BASUtilityString::Utf16ToUtf8(folder).c_str());
    }
}

void OutputPanel::SetMaxEdge(int maxEdge) {
    maxEdge_ = maxEdge;
    if (BASUserDefaults* standard = BASUserDefaults::StandardUserDefaults()) standard->SetInt(kMaxEdgeKey, maxEdge);
}

void OutputPanel::ShowQuality(int value) {
    if (qualityBox_) qualityBox_->SetText(QString::number(value) + QLatin1Char('%'));
}

int OutputPanel::ReadQualityBox() const {
    QString text = qualityBox_ ? qualityBox_->Text().left(15).trimmed() : QString();
    if (text.endsWith(QLatin1Char('%'))) text.chop(1);
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    // What the user typed is kept in range: a quality is a percentage.
    return ok ? std::clamp(value, 0, 100) : 0;
}

void OutputPanel::QualityEntered() {
    const int value = ReadQualityBox();
    ShowQuality(value);
    quality_ = value;
    trackBar_.SetValue(value);
    upDown_->SetPosition(value);  // the next arrow step starts from here
}

OutputSettings OutputPanel::Settings() const {
    OutputSettings settings;
    settings.format = outputFormat_;
    settings.keepExif = keepExifOn_;
    settings.quality = quality_;
    settings.maxEdge = maxEdge_;
    settings.folder = outputFolder_;
    return settings;
}
