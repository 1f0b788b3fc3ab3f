#pragma once
// The filter dialog: every control of the settings, the live preview, the
// memory dots and the command buttons. What the controls mean lives in
// DialogModel; this class lays them out, keeps them in step with the model
// and asks the preview renderer for a new picture after each change.

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_exports.h"
#include "ui/dialog_model.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace globaro {

struct Document;
class PreviewRenderer;
class PreviewWidget;
class DotButton;

class FilterDialog : public QDialog {
    Q_OBJECT
public:
    // `model` and `image` must outlive the dialog. `model.open` has run.
    FilterDialog(DialogModel& model, const Document& image, QWidget* parent = nullptr);
    ~FilterDialog() override;

    DialogModel& model() { return model_; }
    PreviewRenderer& renderer() { return *renderer_; }
    const PreviewView& view() const { return view_; }

    // How a colour is chosen (the system's colour dialog unless replaced).
    using ColourPicker = std::function<std::optional<Rgb16>(Rgb16 current, const QString& prompt)>;
    void setColourPicker(ColourPicker picker) { pickColour_ = std::move(picker); }
    // How a file name is asked for (save: true for the save dialog); an
    // empty string when the user gave none.
    using FilePicker =
        std::function<QString(bool save, const QString& title, const QString& suggested, const QString& filter)>;
    void setFilePicker(FilePicker picker) { pickFile_ = std::move(picker); }
    // How the export buttons reach their files: `exportInput` gives the path
    // of the image the dialog shows (empty, with the reason, when there is
    // none); `runCommand` runs `globaro` with the arguments (the progress box
    // and cancel of ui/gui_session.h unless replaced) and answers one of
    // kGuiOk, kGuiCancelled, kGuiFailed with the reason.
    using InputSource = std::function<std::string(std::string& error)>;
    void setExportInput(InputSource source) { exportInput_ = std::move(source); }
    using CommandRunner = std::function<int(const std::vector<std::string>& args, std::string& error)>;
    void setCommandRunner(CommandRunner runner) { runCommand_ = std::move(runner); }

    // Asks for a preview of the current settings (replacing any in progress).
    void renderPreview();

public Q_SLOTS:
    void accept() override;
    void reject() override;

private:
    void build();
    QWidget* buildControls();
    QWidget* buildPreviewSide();
    void apply(const DialogChange& change);
    void refreshControls();
    void refreshEnabled();
    void refreshDots();
    void refreshZoom();
    void showThumbnail(const Thumbnail* thumbnail);
    bool takePreviewThumbnail(Thumbnail& out) const;
    void pressButton(int control);
    void clickDot(int dot, bool right, bool ctrl);
    // Asks the export's options and its file, then runs it.
    void startExport(DialogExport kind);
    void clickThumbnail(bool right, bool ctrl);
    // Ctrl on the thumbnail: every preset of a folder again, with a fresh
    // thumbnail, in the current version.
    void refreshPresets();
    void closeSubDialogs();
    // One second after the last keystroke in an edit box, or at Enter.
    void settleTyping();
    void loadPreset();
    void savePreset();

    DialogModel& model_;
    const Document& image_;
    PreviewRenderer* renderer_ = nullptr;
    PreviewWidget* preview_ = nullptr;
    PreviewView view_;
    QTimer typingTimer_;
    float dragLatitude_ = 0.0f, dragLongitude_ = 0.0f;

    QHash<int, QSlider*> sliders_;
    QHash<int, QLineEdit*> edits_;  // by slider control
    QHash<int, QComboBox*> combos_;
    QHash<int, QCheckBox*> checks_;
    QHash<int, QPushButton*> colours_;
    QHash<int, QAbstractButton*> buttons_;
    QHash<int, QLabel*> labels_;  // slider labels, by slider control
    std::array<DotButton*, kDotCount> dots_{};
    QLabel* name_ = nullptr;
    QLabel* thumbnail_ = nullptr;
    QPushButton* zoomOut_ = nullptr;
    QPushButton* zoomIn_ = nullptr;
    QPushButton* zoomFull_ = nullptr;
    QPushButton* zoomFit_ = nullptr;
    ColourPicker pickColour_;
    FilePicker pickFile_;
    InputSource exportInput_;
    CommandRunner runCommand_;
};

}  // namespace globaro
