#include "ui/filter_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <cmath>
#include <filesystem>

#include "app/document.h"
#include "platform/temp_folder.h"
#include "settings/presets.h"
#include "settings/settings_file.h"
#include "ui/export_dialogs.h"
#include "ui/gui_session.h"
#include "ui/preview_renderer.h"
#include "ui/preview_widget.h"
#include "ui/small_boxes.h"

namespace globaro {

// A memory dot: a small circle, empty, filled or filled and current.
class DotButton : public QAbstractButton {
public:
    DotButton(int dot, QWidget* parent) : QAbstractButton(parent), dot_(dot) {
        setObjectName(QStringLiteral("dot%1").arg(dot));
        setFixedSize(18, 18);
        setToolTip(QStringLiteral("Memory dot %1: click to park or recall, Ctrl-click for this session only, "
                                  "right-click to clear")
                       .arg(dot + 1));
    }
    void setState(std::uint16_t state) {
        state_ = state;
        update();
    }
    std::function<void(int dot, bool right, bool ctrl)> clicked;
    std::function<void(int dot, bool inside)> hovered;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::WindowText);
        p.setPen(QPen(ink, 1.5));
        p.setBrush(state_ == kDotEmpty     ? QBrush(Qt::NoBrush)
                   : state_ == kDotCurrent ? QBrush(palette().color(QPalette::Highlight))
                                           : QBrush(ink));
        p.drawEllipse(QRectF(rect()).adjusted(3, 3, -3, -3));
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (clicked) clicked(dot_, e->button() == Qt::RightButton, (e->modifiers() & Qt::ControlModifier) != 0);
    }
    void enterEvent(QEnterEvent*) override {
        if (hovered) hovered(dot_, true);
    }
    void leaveEvent(QEvent*) override {
        if (hovered) hovered(dot_, false);
    }

private:
    int dot_;
    std::uint16_t state_ = kDotEmpty;
};

// The thumbnail control: shows a dot's picture and acts on the current dot.
class ThumbnailLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void(bool right, bool ctrl)> clicked;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (clicked) clicked(e->button() == Qt::RightButton, (e->modifiers() & Qt::ControlModifier) != 0);
    }
};

namespace {

QString objectNameOf(int control) { return QStringLiteral("control%1").arg(control); }

QColor toQColor(Rgb16 c) { return QColor::fromRgb(c.red >> 8, c.green >> 8, c.blue >> 8); }

void paintSwatch(QPushButton* button, Rgb16 colour) {
    QPixmap swatch(28, 14);
    swatch.fill(toQColor(colour));
    button->setIcon(QIcon(swatch));
    button->setIconSize(swatch.size());
}

bool thumbnailOf(const QImage& image, Thumbnail& out) {
    const QImage shown = image.convertToFormat(QImage::Format_RGB888);
    if (shown.isNull()) return false;
    return takeThumbnail(shown.constBits(), shown.width(), shown.height(), shown.bytesPerLine(), 3, out);
}

QString numberText(float v) { return QString::number(static_cast<double>(v), 'g', 6); }

}  // namespace

FilterDialog::FilterDialog(DialogModel& model, const Document& image, QWidget* parent)
    : QDialog(parent), model_(model), image_(image) {
    setWindowTitle(QStringLiteral("Globaro 2"));
    setObjectName(QStringLiteral("filterDialog"));
    renderer_ = new PreviewRenderer(image_, this);
    pickColour_ = [this](Rgb16 current, const QString& prompt) -> std::optional<Rgb16> {
        const QColor c = QColorDialog::getColor(toQColor(current), this, prompt);
        if (!c.isValid()) return std::nullopt;
        return Rgb16::from8(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                            static_cast<std::uint8_t>(c.blue()));
    };
    pickFile_ = [this](bool save, const QString& title, const QString& suggested, const QString& filter) {
        return save ? QFileDialog::getSaveFileName(this, title, suggested, filter)
                    : QFileDialog::getOpenFileName(this, title, suggested, filter);
    };
    exportInput_ = [](std::string& error) {
        error = "the dialog shows no image file";
        return std::string();
    };
    runCommand_ = [this](const std::vector<std::string>& args, std::string& error) {
        return runGlobaro(this, args, error);
    };
    typingTimer_.setSingleShot(true);
    typingTimer_.setInterval(1000);
    connect(&typingTimer_, &QTimer::timeout, this, &FilterDialog::settleTyping);
    build();
    refreshControls();
    refreshDots();
    connect(renderer_, &PreviewRenderer::rendered, this, [this](const QImage& image, quint64, bool final) {
        preview_->setImage(image);
        Thumbnail thumbnail;
        if (final && thumbnailOf(image, thumbnail) && model_.completeOpeningDot(thumbnail)) {
            showThumbnail(&thumbnail);
            refreshDots();
        }
    });
    connect(renderer_, &PreviewRenderer::failed, this,
            [this](const QString& reason) { name_->setText(QStringLiteral("No preview: ") + reason); });
}

FilterDialog::~FilterDialog() = default;

void FilterDialog::build() {
    auto* top = new QHBoxLayout(this);
    top->addWidget(buildPreviewSide(), 3);
    top->addWidget(buildControls(), 2);
}

QWidget* FilterDialog::buildPreviewSide() {
    auto* side = new QWidget(this);
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);
    preview_ = new PreviewWidget(side);
    column->addWidget(preview_, 1);

    auto* zoomRow = new QHBoxLayout;
    zoomOut_ = new QPushButton(QStringLiteral("-"), side);
    zoomIn_ = new QPushButton(QStringLiteral("+"), side);
    zoomFull_ = new QPushButton(QStringLiteral("100%"), side);
    zoomFit_ = new QPushButton(QStringLiteral("Z"), side);
    zoomOut_->setObjectName(objectNameOf(kControlZoomOut));
    zoomIn_->setObjectName(objectNameOf(kControlZoomIn));
    zoomFull_->setObjectName(objectNameOf(kControlZoomFull));
    zoomFit_->setObjectName(objectNameOf(kControlZ));
    zoomFit_->setToolTip(QString::fromUtf8(buttonControl(kControlZ).tip));
    for (QPushButton* b : {zoomOut_, zoomIn_, zoomFull_, zoomFit_}) {
        b->setAutoDefault(false);
        b->setMaximumWidth(56);
        zoomRow->addWidget(b);
    }
    connect(zoomOut_, &QPushButton::clicked, this, [this] {
        if (view_.zoomOut()) renderPreview();
    });
    connect(zoomIn_, &QPushButton::clicked, this, [this] {
        if (view_.zoomIn()) renderPreview();
    });
    connect(zoomFull_, &QPushButton::clicked, this, [this] {
        if (view_.zoomFull()) renderPreview();
    });
    connect(zoomFit_, &QPushButton::clicked, this, [this] {
        if (view_.zoomFit()) renderPreview();
    });
    name_ = new QLabel(side);
    name_->setObjectName(objectNameOf(76));
    zoomRow->addWidget(name_, 1);
    auto* info = new QPushButton(QStringLiteral("A"), side);
    info->setObjectName(objectNameOf(kControlInfo));
    info->setToolTip(QStringLiteral("Information"));
    info->setAutoDefault(false);
    info->setMaximumWidth(32);
    connect(info, &QPushButton::clicked, this, [this] { showInfo(this); });
    zoomRow->addWidget(info);
    column->addLayout(zoomRow);

    auto* dotRow = new QHBoxLayout;
    auto* dotGrid = new QGridLayout;
    dotGrid->setSpacing(2);
    for (int n = 0; n < kDotCount; ++n) {
        auto* dot = new DotButton(n, side);
        dot->clicked = [this](int d, bool right, bool ctrl) { clickDot(d, right, ctrl); };
        dot->hovered = [this](int d, bool inside) {
            Thumbnail shown;
            if (inside && model_.hoverDot(d, shown)) showThumbnail(&shown);
            if (!inside) model_.leaveDot();
        };
        dots_[static_cast<std::size_t>(n)] = dot;
        dotGrid->addWidget(dot, n / 13, n % 13);
    }
    auto* dotsBox = new QGroupBox(QStringLiteral("Memory dots"), side);
    dotsBox->setLayout(dotGrid);
    dotRow->addWidget(dotsBox);
    auto* thumbnail = new ThumbnailLabel(side);
    thumbnail->clicked = [this](bool right, bool ctrl) { clickThumbnail(right, ctrl); };
    thumbnail->setToolTip(
        QStringLiteral("Click: recall the dot under the pointer last; right click: a web page "
                       "of the memory dots"));
    thumbnail_ = thumbnail;
    thumbnail_->setObjectName(objectNameOf(kControlThumbnail));
    thumbnail_->setFixedSize(kDotThumbnailShownSide, kDotThumbnailShownSide);
    thumbnail_->setFrameShape(QFrame::StyledPanel);
    dotRow->addWidget(thumbnail_);
    dotRow->addStretch(1);
    column->addLayout(dotRow);

    connect(preview_, &PreviewWidget::dragStarted, this, [this] {
        dragLatitude_ = model_.settings().latitude;
        dragLongitude_ = model_.settings().longitude;
    });
    connect(preview_, &PreviewWidget::turnedBy, this, [this](int dx, int dy) {
        const QImage& shown = preview_->image();
        const double w = std::max(shown.isNull() ? preview_->areaSize().width() : shown.width(), 1);
        const double h = std::max(shown.isNull() ? preview_->areaSize().height() : shown.height(), 1);
        apply(model_.turn(dragLatitude_, dragLongitude_, dx / w, dy / h));
    });
    connect(preview_, &PreviewWidget::scrolledBy, this, [this](int dx, int dy) {
        if (view_.drag(dx, dy)) renderPreview();
    });
    connect(preview_, &PreviewWidget::dragEnded, this, [this](bool) {
        model_.endDrag(kControlPreview);
        refreshEnabled();
    });
    connect(preview_, &PreviewWidget::areaResized, this, [this] {
        const QSize area = preview_->areaSize();
        if (area.width() == view_.areaWidth && area.height() == view_.areaHeight) return;
        view_.fit(image_.width, image_.height, area.width(), area.height());
        renderPreview();
    });
    return side;
}

QWidget* FilterDialog::buildControls() {
    auto* side = new QWidget(this);
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);

    // The lists, each with its stepping button.
    auto* lists = new QGridLayout;
    const std::pair<int, int> stepOf[] = {{kControlInput, kControlStepInput},
                                          {kControlOutput, kControlStepOutput},
                                          {kControlGlue, kControlStepGlue},
                                          {kControlGrid, kControlStepGrid},
                                          {kControlQuality, kControlStepQuality}};
    int row = 0;
    for (const ChoiceControl& c : choiceControls()) {
        auto* combo = new QComboBox(side);
        combo->setObjectName(objectNameOf(c.control));
        combo->setMaxVisibleItems(24);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(18);
        for (const auto& [value, name] : choiceItems(c.control))
            combo->addItem(QString::fromStdString(name), QVariant(static_cast<int>(value)));
        const int control = c.control;
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, control](int index) {
            if (index < 0) return;
            apply(model_.setChoice(control, combo->itemData(index).toInt()));
        });
        combos_.insert(c.control, combo);
        lists->addWidget(new QLabel(QString::fromUtf8(c.label), side), row, 0);
        lists->addWidget(combo, row, 1);
        for (const auto& [list, step] : stepOf) {
            if (list != c.control) continue;
            for (const ButtonControl& b : buttonControls()) {
                if (b.control != step) continue;
                auto* button = new QPushButton(QString::fromUtf8(b.text), side);
                button->setObjectName(objectNameOf(step));
                button->setToolTip(QString::fromUtf8(b.tip));
                button->setAutoDefault(false);
                button->setMaximumWidth(28);
                connect(button, &QPushButton::clicked, this, [this, step] { pressButton(step); });
                buttons_.insert(step, button);
                lists->addWidget(button, row, 2);
            }
        }
        ++row;
    }
    lists->setColumnStretch(1, 1);
    column->addLayout(lists);

    // The sliders with their edit boxes.
    auto* sliders = new QGridLayout;
    row = 0;
    for (const SliderControl& s : sliderControls()) {
        auto* label = new QLabel(QString::fromUtf8(s.label), side);
        auto* slider = new QSlider(Qt::Horizontal, side);
        slider->setObjectName(objectNameOf(s.control));
        slider->setRange(static_cast<int>(s.lo), static_cast<int>(s.hi));
        auto* edit = new QLineEdit(side);
        edit->setObjectName(objectNameOf(s.edit));
        edit->setMaximumWidth(72);
        const int control = s.control;
        connect(slider, &QSlider::valueChanged, this, [this, slider, edit, control](int value) {
            const DialogChange change = model_.setSlider(control, value, !slider->isSliderDown());
            edit->setText(numberText(model_.sliderValue(control)));
            apply(change);
        });
        connect(slider, &QSlider::sliderReleased, this, [this, control] {
            model_.endDrag(control);
            refreshEnabled();
        });
        connect(edit, &QLineEdit::textEdited, this, [this, slider, control](const QString& text) {
            bool ok = false;
            const double typed = text.toDouble(&ok);
            if (!ok) return;
            model_.typeInEdit(control, typed);
            const QSignalBlocker block(slider);
            slider->setValue(static_cast<int>(std::lround(model_.sliderValue(control))));
            typingTimer_.start();
        });
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (!typingTimer_.isActive()) return;
            typingTimer_.stop();
            settleTyping();
        });
        sliders_.insert(s.control, slider);
        edits_.insert(s.control, edit);
        labels_.insert(s.control, label);
        sliders->addWidget(label, row, 0);
        sliders->addWidget(slider, row, 1);
        sliders->addWidget(edit, row, 2);
        ++row;
    }
    sliders->setColumnStretch(1, 1);
    column->addLayout(sliders);

    // Check boxes and colours.
    auto* checks = new QGridLayout;
    int index = 0;
    for (const CheckControl& c : checkControls()) {
        auto* box = new QCheckBox(QString::fromUtf8(c.label), side);
        box->setObjectName(objectNameOf(c.control));
        const int control = c.control;
        connect(box, &QCheckBox::toggled, this, [this, control](bool on) { apply(model_.setChecked(control, on)); });
        checks_.insert(c.control, box);
        checks->addWidget(box, index / 3, index % 3);
        ++index;
    }
    column->addLayout(checks);
    auto* colours = new QHBoxLayout;
    for (const ColourControl& c : colourControls()) {
        auto* button = new QPushButton(QString::fromUtf8(c.label), side);
        button->setObjectName(objectNameOf(c.control));
        button->setAutoDefault(false);
        const int control = c.control;
        const QString prompt = QString::fromUtf8(c.prompt);
        connect(button, &QPushButton::clicked, this, [this, control, prompt] {
            if (const std::optional<Rgb16> chosen = pickColour_(model_.colour(control), prompt))
                apply(model_.setColour(control, *chosen));
        });
        colours_.insert(c.control, button);
        colours->addWidget(button);
    }
    column->addLayout(colours);

    // Commands.
    auto* commands = new QGridLayout;
    const int commandOrder[] = {kControlLoad,        kControlSave,        kControlUndo,         kControlDice,
                                kControlConstrained, kControlResetAngles, kControlLittlePlanet, kControlAbout,
                                kControlCube,        kControlFacet,       kControlPsdWithSize,  kControlLego};
    index = 0;
    for (const int control : commandOrder) {
        for (const ButtonControl& b : buttonControls()) {
            if (b.control != control) continue;
            auto* button = new QPushButton(QString::fromUtf8(b.text), side);
            button->setObjectName(objectNameOf(control));
            button->setToolTip(QString::fromUtf8(b.tip));
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [this, control] { pressButton(control); });
            buttons_.insert(control, button);
            commands->addWidget(button, index / 4, index % 4);
            ++index;
        }
    }
    column->addLayout(commands);
    column->addStretch(1);

    auto* ending = new QHBoxLayout;
    ending->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), side);
    cancel->setObjectName(objectNameOf(kControlCancel));
    auto* ok = new QPushButton(QStringLiteral("&OK"), side);
    ok->setObjectName(objectNameOf(kControlOk));
    // Enter in an edit box settles the typed value; it does not end the dialog.
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &FilterDialog::reject);
    connect(ok, &QPushButton::clicked, this, &FilterDialog::accept);
    ending->addWidget(cancel);
    ending->addWidget(ok);
    column->addLayout(ending);
    return side;
}

void FilterDialog::apply(const DialogChange& change) {
    if (change.controls)
        refreshControls();
    else
        refreshEnabled();
    if (change.settings) renderPreview();
    if (change.dots) refreshDots();
}

void FilterDialog::refreshControls() {
    const SettingsRecord& s = model_.settings();
    for (const SliderControl& c : sliderControls()) {
        const QSignalBlocker block(sliders_[c.control]);
        sliders_[c.control]->setValue(static_cast<int>(std::lround(s.*(c.field))));
        edits_[c.control]->setText(numberText(s.*(c.field)));
    }
    for (const ChoiceControl& c : choiceControls()) {
        QComboBox* combo = combos_[c.control];
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(combo->findData(QVariant(static_cast<int>(s.*(c.field)))));
    }
    for (const CheckControl& c : checkControls()) {
        const QSignalBlocker block(checks_[c.control]);
        checks_[c.control]->setChecked(s.*(c.field) != 0);
    }
    for (const ColourControl& c : colourControls()) paintSwatch(colours_[c.control], s.*(c.field));
    refreshEnabled();
}

void FilterDialog::refreshEnabled() {
    for (const int control : {kControlTabs, kControlFov}) {
        const bool on = model_.enabled(control);
        sliders_[control]->setEnabled(on);
        edits_[control]->setEnabled(on);
        labels_[control]->setEnabled(on);
    }
    buttons_[kControlFacet]->setEnabled(model_.enabled(kControlFacet));
    buttons_[kControlUndo]->setEnabled(model_.enabled(kControlUndo));
    name_->setText(QString::fromLocal8Bit(model_.settings().settingsName));
    refreshZoom();
}

void FilterDialog::refreshZoom() {
    zoomOut_->setEnabled(view_.canZoomOut());
    zoomIn_->setEnabled(view_.canZoomIn());
    zoomFull_->setEnabled(view_.canZoomFull());
    zoomFit_->setEnabled(view_.canZoomFit());
    zoomFull_->setText(QString::fromStdString(view_.percentText()));
}

void FilterDialog::refreshDots() {
    for (int n = 0; n < kDotCount; ++n) dots_[static_cast<std::size_t>(n)]->setState(model_.dots().state.words[n]);
}

void FilterDialog::showThumbnail(const Thumbnail* thumbnail) {
    if (thumbnail == nullptr || thumbnail->empty()) {
        thumbnail_->clear();
        return;
    }
    const QImage image(thumbnail->rgb.data(), thumbnail->width, thumbnail->height, thumbnail->width * 3,
                       QImage::Format_RGB888);
    thumbnail_->setPixmap(
        QPixmap::fromImage(image.scaled(thumbnail_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

bool FilterDialog::takePreviewThumbnail(Thumbnail& out) const { return thumbnailOf(renderer_->latest(), out); }

void FilterDialog::renderPreview() {
    if (view_.areaWidth <= 1 && view_.areaHeight <= 1) {
        const QSize area = preview_->areaSize();
        view_.fit(image_.width, image_.height, area.width(), area.height());
    }
    refreshZoom();
    renderer_->request(model_.settings(), view_);
}

void FilterDialog::pressButton(int control) {
    switch (control) {
        case kControlLoad:
            loadPreset();
            return;
        case kControlSave:
            savePreset();
            return;
        case kControlAbout:
            showAbout(this);
            return;
        case kControlCube:
            startExport(DialogExport::kCube);
            return;
        case kControlFacet:
            if (!model_.enabled(kControlFacet)) {
                QApplication::beep();
                return;
            }
            startExport(facetExport(model_.settings()));
            return;
        case kControlPsdWithSize:
            startExport(DialogExport::kPsd);
            return;
        case kControlLego:
            startExport(DialogExport::kBricks);
            return;
        default:
            apply(model_.press(control));
            return;
    }
}

void FilterDialog::startExport(DialogExport kind) {
    SettingsRecord& settings = model_.settings();
    const bool asked = kind == DialogExport::kCube       ? askCubeSide(this, settings)
                       : kind == DialogExport::kPsd      ? askPsdSize(this, settings, image_.width, image_.height)
                       : kind == DialogExport::kBricks   ? askBricks(this, settings)
                       : kind == DialogExport::kDotsPage ? true
                                                         : askFacets(this, settings);
    if (!asked) return;
    if (kControlFacet == dialogExport(kind).control) kind = facetExport(settings);
    const DialogExportRow& row = dialogExport(kind);
    std::string error;
    const std::string input = exportInput_(error);
    if (input.empty()) {
        QMessageBox::warning(this, QStringLiteral("Globaro 2"), QString::fromStdString("Cannot export: " + error));
        return;
    }
    QString folder = QString::fromLocal8Bit(settings.saveFolder);
    if (folder.isEmpty()) {
        // Beside the image, unless it is a copy in the temporary folder (the
        // module's dialog): then among the user's pictures.
        const std::filesystem::path beside = std::filesystem::path(input).parent_path();
        folder = beside == std::filesystem::path(tempFolder()).parent_path()
                     ? QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)
                     : QString::fromStdString(beside.string());
    }
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    const QString output = pickFile_(true, QString::fromUtf8(row.saveTitle), folder + QString::fromUtf8(row.suggested),
                                     QString::fromUtf8(row.fileFilter));
    if (output.isEmpty()) return;
    setName(settings.saveFolder, (std::filesystem::path(output.toStdString()).parent_path().string() + "/").c_str());

    const std::string settingsFile =
        tempFolder() + "Globaro 2 export " + std::to_string(QCoreApplication::applicationPid()) + ".q2q";
    const std::vector<std::string> args = exportArguments(kind, settings, input, output.toStdString(), settingsFile);
    if (args.empty()) {
        QMessageBox::information(this, QStringLiteral("Globaro 2"),
                                 QStringLiteral("Nothing to export: choose at least one of the results."));
        return;
    }
    int status = kGuiFailed;
    if (writeSettingsFile(settingsFile, settings, nullptr) != kFileOk)
        error = "cannot write the settings to \"" + settingsFile + "\"";
    else
        status = runCommand_(args, error);
    std::error_code ec;
    std::filesystem::remove(settingsFile, ec);
    std::filesystem::remove(brickScratchModel(settingsFile), ec);
    if (status == kGuiFailed)
        QMessageBox::warning(this, QStringLiteral("Globaro 2"), QString::fromStdString(error));
    else if (status == kGuiOk)
        name_->setText(QStringLiteral("Wrote ") + QFileInfo(output).fileName());
}

void FilterDialog::clickThumbnail(bool right, bool ctrl) {
    switch (model_.clickThumbnail(right, ctrl)) {
        case ThumbnailClick::kWriteDotPage:
            startExport(DialogExport::kDotsPage);
            return;
        case ThumbnailClick::kRefreshPresets:
            refreshPresets();
            return;
        case ThumbnailClick::kLoadCurrentDot:
            refreshDots();
            apply(DialogChange{true, true, false});
            return;
        default:
            return;
    }
}

void FilterDialog::refreshPresets() {
    const QString any = pickFile_(false, QStringLiteral("Choose any file in the source folder"),
                                  QString::fromLocal8Bit(model_.settings().settingsFolder),
                                  QStringLiteral("Globaro 2 presets (*.q2q *.q5q *.q9q)"));
    if (any.isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Each preset is shown in the preview and takes the finished picture as
    // its new thumbnail.
    const PresetRefreshReport report = refreshPresetFolder(
        QFileInfo(any).absolutePath().toStdString(), model_.settings(), [this](SettingsRecord& record, Thumbnail& out) {
            renderer_->request(record, view_);
            return renderer_->waitIdle(60000) && takePreviewThumbnail(out);
        });
    QApplication::restoreOverrideCursor();
    apply(DialogChange{true, true, false});
    name_->setText(report.busy ? QStringLiteral("The presets are being refreshed already")
                               : QStringLiteral("Presets refreshed: %1, renamed: %2, failed: %3")
                                     .arg(report.refreshed)
                                     .arg(report.renamed)
                                     .arg(report.failed));
}

void FilterDialog::loadPreset() {
    const QString presets = QStringLiteral("Globaro 2 presets (*.q2q)");
    const QString path = pickFile_(false, QString::fromUtf8(kOpenPresetTitle),
                                   QString::fromLocal8Bit(model_.settings().settingsFolder), presets);
    if (path.isEmpty()) return;
    if (model_.loadPreset(path.toStdString()) != kFileOk) {
        QMessageBox::warning(this, QStringLiteral("Globaro 2"),
                             QStringLiteral("\"%1\" is not a settings file that can be read.").arg(path));
        return;
    }
    apply(DialogChange{true, true, false});
}

void FilterDialog::savePreset() {
    const QString suggested = QString::fromLocal8Bit(model_.settings().settingsFolder) +
                              QString::fromStdString(presetSaveName(model_.settings())) + QStringLiteral(".q2q");
    const QString path =
        pickFile_(true, QString::fromUtf8(kSavePresetTitle), suggested, QStringLiteral("Globaro 2 presets (*.q2q)"));
    if (path.isEmpty()) return;
    Thumbnail thumbnail;
    const bool have = takePreviewThumbnail(thumbnail);
    if (model_.savePresetTo(path.toStdString(), have ? &thumbnail : nullptr) != kFileOk) {
        QMessageBox::warning(this, QStringLiteral("Globaro 2"), QStringLiteral("Cannot write \"%1\".").arg(path));
        return;
    }
    refreshEnabled();
}

void FilterDialog::clickDot(int dot, bool right, bool ctrl) {
    const DotClickOutcome outcome =
        model_.clickDot(dot, right, ctrl, [this](Thumbnail& out) { return takePreviewThumbnail(out); });
    if (outcome.update.clearThumbnail) showThumbnail(nullptr);
    if (outcome.update.showThumbnail) {
        Thumbnail shown;
        if (takePreviewThumbnail(shown)) showThumbnail(&shown);
    }
    refreshDots();
    apply(DialogChange{outcome.update.settingsChanged, outcome.update.settingsChanged, false});
}

void FilterDialog::settleTyping() {
    model_.typingSettled();
    refreshEnabled();
    renderPreview();
}

void FilterDialog::closeSubDialogs() {
    for (QDialog* sub : findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) sub->close();
}

void FilterDialog::accept() {
    typingTimer_.stop();
    closeSubDialogs();
    QDialog::accept();
}

void FilterDialog::reject() {
    typingTimer_.stop();
    model_.cancel();
    closeSubDialogs();
    QDialog::reject();
}

}  // namespace globaro
