// The content view's output panel: the format, keep EXIF, the quality (box,
// up-down, hint and track bar), the size of the results, the output folder (box, browse, open) and the
// convert button, laid out and painted at the view's right. Not a window: its
// controls are children of the delegate's window, like the view's own. It
// holds the settings a conversion request carries; the folder and the size
// are kept in the standard settings store.
#ifndef WORKBENCH_OUTPUT_PANEL_H
#define WORKBENCH_OUTPUT_PANEL_H

#include "presenter/output_settings.h"
#include "presenter/view_resources.h"
#include "presenter/vo_track_bar.h"

#include <QMetaObject>
#include <QPen>
#include <QRect>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class PhotoChooser;
class QComboBox;
class QPainter;
class QWidget;
class VoEdit;
class VoImgButton;
class VoSwitchButton;
class VoUpDown;

class OutputPanel {
public:
    enum Id : int {
        kFormat = 6005, kConvert = 6006, kQualityBox = 6011, kHint = 6013, kKeepExif = 6014, kOpenFolder = 6015,
        kBrowse = 6016, kFolderBox = 6017,
    };
    static constexpr const char* kFolderKey = "CONVERT_CHOOSE_FOLDER_KEY";
    static constexpr const char* kMaxEdgeKey = "CONVERT_MAX_EDGE_KEY";
    // The size choices: the photo's own, then the longest side at most so
    // many pixels.
    static constexpr int kMaxEdges[] = {0, 4096, 2560, 2048, 1600, 1024};

    // `formatChanged` runs once the format has changed, to show and lay out
    // the view again (the JPEG-only controls come and go).
    OutputPanel(QWidget* window, const ViewResources& resources, PhotoChooser* chooser,
                std::function<void()> formatChanged);
    ~OutputPanel();

    // Creates the controls as children of the window.
    void Create();
    // Shows the controls; the JPEG-only ones only for JPEG.
    void SetVisible(bool visible);
    // Lays the panel out from `left` to `right`, from the view's top down to `bottom`.
    void Layout(int left, int right, int bottom);
    void PaintBackground(QPainter& painter) const;
    // Labels, the two boxes' borders and the track bar.
    void Paint(QPainter& painter) const;
    // A command of one of its controls; false for the others (convert is the view's).
    bool OnCommand(int id);

    // "85" or "85%" typed in the quality box and Enter.
    void QualityEntered();
    // The quality box's value, kept within 0..100 (0 when it is no number).
    int ReadQualityBox() const;
    // The quality a conversion takes: what the box says now.
    void TakeQualityFromBox() { quality_ = ReadQualityBox(); }
    void SetFormat(int format);
    // The folder browser.
    void ChooseOutputFolder();
    void SetChooser(PhotoChooser* chooser) { chooser_ = chooser; }
    void SetOutputFolder(const std::u16string& folder);

    OutputSettings Settings() const;
    // The panel's controls in Tab order, top to bottom.
    std::vector<QWidget*> TabOrder() const;

    QComboBox* FormatBox() const { return format_; }
    QComboBox* SizeBox() const { return size_; }
    VoEdit* QualityBox() const { return qualityBox_; }
    VoUpDown* UpDown() const { return upDown_; }
    VoTrackBar& TrackBar() { return trackBar_; }
    VoImgButton* KeepExif() const { return keepExif_; }
    VoSwitchButton* ConvertButton() const { return convert_; }
    int Quality() const { return quality_; }
    const std::u16string& OutputFolder() const { return outputFolder_; }
    QRect Rect() const { return panel_; }

private:
    void ShowQuality(int value);
    void SetMaxEdge(int maxEdge);
    QPen BorderPen(const VoEdit* box) const;
    QRect Text(const QString& text, const char* font, int x, int y, int width = 0) const;

    QWidget* window_ = nullptr;
    const ViewResources& res_;
    PhotoChooser* chooser_ = nullptr;
    std::function<void()> formatChanged_;
    QMetaObject::Connection focusWatch_;

    // Controls: children of the window, owned by it.
    QComboBox* format_ = nullptr;
    VoImgButton* keepExif_ = nullptr;
    VoEdit* qualityBox_ = nullptr;
    VoUpDown* upDown_ = nullptr;
    VoImgButton* hint_ = nullptr;
    VoTrackBar trackBar_;
    QComboBox* size_ = nullptr;
    VoSwitchButton* browse_ = nullptr;
    VoEdit* folderBox_ = nullptr;
    VoSwitchButton* openFolder_ = nullptr;
    VoSwitchButton* convert_ = nullptr;

    int outputFormat_ = 0;
    bool keepExifOn_ = true;
    int quality_ = 100;
    int maxEdge_ = 0;
    std::u16string outputFolder_;

    // Layout results for the painter.
    QRect panel_;
    QRect formatLabel_;
    QRect exifLabel_;
    QRect exifText_;
    QRect qualityLabel_;
    QRect qualityBorder_;
    QRect sizeLabel_;
    QRect folderLabel_;
    QRect folderBorder_;
};

#endif  // WORKBENCH_OUTPUT_PANEL_H
