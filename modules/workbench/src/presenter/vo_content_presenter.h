// VoContentPresenter: the workbench once photos are listed: the operator bar
// (add file, add folder, delete, search), the virtual photo list with
// thumbnails, the output panel (OutputPanel: format, keep EXIF, quality,
// output folder, open folder, convert) and the status line. It is not a
// window: its controls are children of the delegate's window, which paints
// it and hands it its commands. It owns the photo list, asks for its
// thumbnails (ThumbnailStreams), checks a conversion before it starts and
// hands it to ConversionFlow.
#ifndef WORKBENCH_VO_CONTENT_PRESENTER_H
#define WORKBENCH_VO_CONTENT_PRESENTER_H

#include "photo/photo_list_model.h"
#include "presenter/conversion_flow.h"
#include "presenter/output_panel.h"
#include "presenter/thumbnail_streams.h"
#include "presenter/view_resources.h"
#include "presenter/vo_track_bar.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QWidget;
class VoEdit;
class VoImgButton;
class VoListView;
class VoSwitchButton;
class VoSwitchImageButton;
class VoUpDown;

class VoContentPresenter : public PhotoListView, public PhotoListListener {
public:
    enum Id : int {
        kAddFile = 6001, kAddFolder = 6002, kDelete = 6003, kList = 6007, kSearchBox = 6008, kSearchButton = 6009,
        // The output panel's.
        kFormat = OutputPanel::kFormat, kConvert = OutputPanel::kConvert, kQualityBox = OutputPanel::kQualityBox,
        kHint = OutputPanel::kHint, kKeepExif = OutputPanel::kKeepExif, kOpenFolder = OutputPanel::kOpenFolder,
        kBrowse = OutputPanel::kBrowse, kFolderBox = OutputPanel::kFolderBox,
    };
    static constexpr const char* kDeviceId = ConversionFlow::kDeviceId;
    static constexpr const char* kFolderKey = OutputPanel::kFolderKey;

    // Notifications for the delegate: LIBCONVERTER_COMMAND_LOAD_THUMBNAIL_BEGIN and _END.
    using Notify = std::function<void(const char* notification)>;

    VoContentPresenter(QWidget* window, const ViewResources& resources, PhotoChooser* chooser, PhotoAsker* asker,
                       Notify notify);
    ~VoContentPresenter() override;

    // Creates the controls (hidden) as children of the window.
    void Create();
    void SetVisible(bool visible);
    void Layout(int width, int height);
    void Paint(QPainter& painter) const;
    // A command of one of its controls; false for ids that are not its own.
    bool OnCommand(int id);

    int32_t AddFiles();
    int32_t AddFolder();
    int32_t AddDropped(const std::vector<std::u16string>& paths);
    void Search(const QString& text);
    void DeleteChecked();
    // The whole conversion: checks, progress dialog, request. False when a
    // check failed (the user was told why) or a request is still running.
    bool Convert();
    // Stops the conversion and the thumbnails that are running (the
    // progress dialog's cancel, the program's close).
    void StopWork();
    // The progress dialog's cancel: the conversion stops after the file in hand.
    void StopConversion();
    bool Busy() const { return flow_.Busy(); }
    // A stopped conversion still finishes the photos it had begun: "convert"
    // is disabled and the status line says so.
    bool Finishing() const { return flow_.Finishing(); }
    static QString FinishingText();
    // The folder browser (the same dialogs as the model's adds).
    void ChooseOutputFolder() { panel_.ChooseOutputFolder(); }
    // The file and folder dialogs from now on.
    void SetChooser(PhotoChooser* chooser);
    void SetOutputFolder(const std::u16string& folder) { panel_.SetOutputFolder(folder); }
    // "85" or "85%" typed in the quality box and Enter.
    void QualityEntered() { panel_.QualityEntered(); }
    void SetFormat(int format) { panel_.SetFormat(format); }
    // Ctrl+F: the search box takes the focus, its text selected.
    void FocusSearch();
    // The keyboard starts in the list when the view first shows.
    void FocusList();

    // The conversion request as Convert() sends it, or null with nothing to send.
    std::string BuildRequest() const;
    // The thumbnail request for `paths`: the rows on screen first.
    std::vector<std::string> VisibleFirst(const std::vector<std::string>& paths) const;

    PhotoListModel& Model() { return *model_; }
    VoListView* List() const { return list_; }
    QComboBox* FormatBox() const { return panel_.FormatBox(); }
    QComboBox* SizeBox() const { return panel_.SizeBox(); }
    VoEdit* QualityBox() const { return panel_.QualityBox(); }
    VoUpDown* UpDown() const { return panel_.UpDown(); }
    VoTrackBar& TrackBar() { return panel_.TrackBar(); }
    VoImgButton* KeepExif() const { return panel_.KeepExif(); }
    VoEdit* SearchBox() const { return searchBox_; }
    VoImgButton* SearchButton() const { return searchButton_; }
    VoSwitchImageButton* AddFileButton() const { return addFile_; }
    VoSwitchButton* ConvertButton() const { return panel_.ConvertButton(); }
    int Quality() const { return panel_.Quality(); }
    int RowHeight() const { return rowHeight_; }
    const std::u16string& OutputFolder() const { return panel_.OutputFolder(); }
    const QString& TotalText() const { return totalText_; }
    const QString& CheckedText() const { return checkedText_; }
    QRect PanelRect() const { return panel_.Rect(); }
    QRect ListRect() const { return listRect_; }
    // Rows redrawn by arriving thumbnails (for the tests and the benchmark).
    int RefreshedRows() const { return refreshedRows_; }

    // PhotoListView
    void SetItemCount(int32_t count) override;
    void SetHeaderCheck(bool checked) override;
    bool GetHeaderChecked() const override;
    void RefreshHeaderCheck() override;
    // PhotoListListener
    void PhotoTotalsChanged(const PhotoTotals& totals) override;
    void ThumbnailsWanted(const std::vector<std::string>& paths) override;
    void FolderLoadBegins() override;
    void ShownListEmptied() override;

    // A thumbnail reply, on the main thread.
    void ThumbnailArrived(std::shared_ptr<QImage> image, const std::u16string& path, int32_t kind, int32_t width,
                          int32_t height, int32_t index, int32_t total);

private:
    void CreateOperatorBar();
    void CreateList();
    void SetTabOrder();
    void SetVisibleRange(int first, int last);
    // The finishing state changed: "convert" and the status line follow it.
    void FinishingChanged();

    QWidget* window_ = nullptr;
    const ViewResources& res_;
    PhotoChooser* chooser_ = nullptr;
    PhotoAsker* asker_ = nullptr;
    Notify notify_;
    std::unique_ptr<PhotoListModel> model_;
    OutputPanel panel_;
    ThumbnailStreams thumbnails_;
    ConversionFlow flow_;
    // Thumbnail callbacks run on other threads; they reach this view only
    // while it lives.
    std::shared_ptr<VoContentPresenter*> alive_;

    // Controls: children of the window, owned by it.
    VoSwitchImageButton* addFile_ = nullptr;
    VoSwitchImageButton* addFolder_ = nullptr;
    VoSwitchImageButton* delete_ = nullptr;
    VoEdit* searchBox_ = nullptr;
    VoImgButton* searchButton_ = nullptr;
    VoListView* list_ = nullptr;

    int visibleFirst_ = 0;
    int visibleLast_ = 0;
    int rowHeight_ = 60;
    // Qt's device pixel ratio the last thumbnails were asked for at.
    double thumbnailRatio_ = 1.0;
    int rowsPerPage_ = 1;
    int refreshedRows_ = 0;
    QString totalText_;
    QString checkedText_;
    bool visible_ = false;

    // Layout results for the painter.
    int width_ = 0;
    int height_ = 0;
    QRect listRect_;
    QRect status_;
};

#endif  // WORKBENCH_VO_CONTENT_PRESENTER_H
