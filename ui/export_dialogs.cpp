#include "ui/export_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>

#include "export/brick_sphere.h"
#include "ui/dialog_exports.h"

namespace globaro {
namespace {

// A dialog with a column of rows and OK / Cancel under them.
struct SubDialog {
    QDialog dialog;
    QVBoxLayout* column;

    SubDialog(QWidget* owner, const QString& title) : dialog(owner), column(new QVBoxLayout(&dialog)) {
        dialog.setWindowTitle(title);
        dialog.setObjectName(title);
    }
    bool run() {
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        column->addWidget(buttons);
        return dialog.exec() == QDialog::Accepted;
    }
};

QSpinBox* sideBox(QWidget* parent, int value) {
    auto* box = new QSpinBox(parent);
    box->setRange(kExportSideMin, kExportSideMax);
    box->setValue(value);
    return box;
}

}  // namespace

bool askCubeSide(QWidget* owner, SettingsRecord& settings) {
    SubDialog d(owner, QStringLiteral("Cube map"));
    d.column->addWidget(new QLabel(
        QStringLiteral("Exports a cube map as six Photoshop documents.\n\nOutput size in pixels:"), &d.dialog));
    QSpinBox* side = sideBox(&d.dialog, settings.cubeSide);
    d.column->addWidget(side);
    if (!d.run()) return false;
    chooseCubeSide(settings, side->value());
    return true;
}

bool askPsdSize(QWidget* owner, SettingsRecord& settings, int imageW, int imageH) {
    SubDialog d(owner, QStringLiteral("Export PSD image"));
    const QString texts[] = {QStringLiteral("Same size as input"), QStringLiteral("Same proportions as input"),
                             QStringLiteral("Custom size in pixels:")};
    auto* group = new QButtonGroup(&d.dialog);
    for (int mode = 1; mode <= 3; ++mode) {
        auto* radio = new QRadioButton(texts[mode - 1], &d.dialog);
        group->addButton(radio, mode);
        d.column->addWidget(radio);
    }
    group->button(std::clamp(settings.psdSizeMode, 1, 3))->setChecked(true);
    auto* sizes = new QFormLayout;
    QSpinBox* width = sideBox(&d.dialog, settings.psdWidth);
    QSpinBox* height = sideBox(&d.dialog, settings.psdHeight);
    sizes->addRow(QStringLiteral("Width:"), width);
    sizes->addRow(QStringLiteral("Height:"), height);
    d.column->addLayout(sizes);
    // With the proportions kept, the other side follows; typing while the
    // input's own size is chosen means a size of one's own.
    auto edited = [&, group](QSpinBox* box, QSpinBox* other, bool isWidth) {
        QObject::connect(box, &QSpinBox::valueChanged, &d.dialog, [=](int value) {
            if (group->checkedId() == 1) group->button(3)->setChecked(true);
            if (group->checkedId() != 2) return;
            const QSignalBlocker block(other);
            other->setValue(proportionalSide(value, isWidth, imageW, imageH));
        });
    };
    edited(width, height, true);
    edited(height, width, false);
    if (!d.run()) return false;
    choosePsdSize(settings, group->checkedId(), width->value(), height->value());
    return true;
}

bool askBricks(QWidget* owner, SettingsRecord& settings) {
    SubDialog d(owner, QStringLiteral("Brick sphere"));
    const BrickChoice was = brickChoiceOf(settings);
    auto* form = new QFormLayout;
    auto* layers = new QSpinBox(&d.dialog);
    layers->setRange(kBrickLayersMin, kBrickLayersMax);
    layers->setValue(static_cast<int>(was.layers));
    form->addRow(QStringLiteral("Sphere layers (3 to 150)"), layers);
    d.column->addLayout(form);
    auto* plates = new QCheckBox(QStringLiteral("Plates"), &d.dialog);
    plates->setChecked(was.plates);
    d.column->addWidget(plates);

    auto* colourBox = new QGroupBox(QStringLiteral("Brick colors"), &d.dialog);
    auto* colourGrid = new QGridLayout(colourBox);
    std::array<QCheckBox*, kBrickColourGroups> colours{};
    for (int k = 0; k < kBrickColourGroups; ++k) {
        auto* box = new QCheckBox(QString::fromUtf8(brickColor(k + 1).name), colourBox);
        box->setChecked((was.colours >> k & 1u) != 0);
        colours[static_cast<std::size_t>(k)] = box;
        colourGrid->addWidget(box, k / 3, k % 3);
    }
    d.column->addWidget(colourBox);
    auto* diffusion = new QCheckBox(QStringLiteral("Diffuse colors"), &d.dialog);
    diffusion->setChecked(was.diffusion);
    d.column->addWidget(diffusion);

    auto* results = new QGroupBox(QStringLiteral("Results"), &d.dialog);
    auto* resultColumn = new QVBoxLayout(results);
    auto* plan = new QCheckBox(QStringLiteral("Sphere plan"), results);
    auto* stats = new QCheckBox(QStringLiteral("Sphere statistics"), results);
    auto* ldraw = new QCheckBox(QStringLiteral("LDraw file"), results);
    plan->setChecked(was.plan);
    stats->setChecked(was.statistics);
    ldraw->setChecked(was.ldraw);
    for (QCheckBox* box : {plan, stats, ldraw}) resultColumn->addWidget(box);
    d.column->addWidget(results);
    if (!d.run()) return false;
    BrickChoice chosen{layers->value(),    plates->isChecked(), 0, diffusion->isChecked(), plan->isChecked(),
                       stats->isChecked(), ldraw->isChecked()};
    for (int k = 0; k < kBrickColourGroups; ++k)
        if (colours[static_cast<std::size_t>(k)]->isChecked()) chosen.colours |= 1u << k;
    chooseBricks(settings, chosen);
    return true;
}

bool askFacets(QWidget* owner, SettingsRecord& settings) {
    SubDialog d(owner, QStringLiteral("Export Polyhedron"));
    const QString texts[] = {QStringLiteral("Export images of all faces"),
                             QStringLiteral("Export 3D geometry to .obj and .stl files"),
                             QStringLiteral("Export equirectangular map of faces")};
    auto* group = new QButtonGroup(&d.dialog);
    for (int choice = 0; choice < 3; ++choice) {
        auto* radio = new QRadioButton(texts[choice], &d.dialog);
        group->addButton(radio, choice);
        d.column->addWidget(radio);
    }
    group->button(std::clamp(settings.facesExportChoice, 0, 2))->setChecked(true);
    auto* form = new QFormLayout;
    QSpinBox* size = sideBox(&d.dialog, settings.faceSize);
    form->addRow(QStringLiteral("Face/texture map size in pixels:"), size);
    d.column->addLayout(form);
    if (!d.run()) return false;
    chooseFacets(settings, group->checkedId(), size->value());
    return true;
}

}  // namespace globaro
