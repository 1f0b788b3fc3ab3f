// The dialog's widgets on Qt's offscreen platform: each kind of control
// reaches the settings, the preview drag turns the sphere, Cancel keeps
// nothing, OK writes what the command line writes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/document.h"
#include "app/image_io.h"
#include "platform/temp_folder.h"
#include "projection/catalogue.h"
#include "ui/filter_dialog.h"
#include "ui/gui_session.h"
#include "ui/preview_renderer.h"
#include "ui/small_boxes.h"

namespace globaro {
namespace {

void startQt() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static const QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)app;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DialogWidgets : public ::testing::Test {
protected:
    void SetUp() override {
        startQt();
        std::string error;
        ASSERT_TRUE(makeDemoPanorama(image_, 256, 128, 8, error)) << error;
        openingSettings(opening_);
        model_ = std::make_unique<DialogModel>(opening_, 5);
        model_->open();
        dialog_ = std::make_unique<FilterDialog>(*model_, image_);
        dialog_->resize(1100, 640);
        dialog_->show();
        QApplication::processEvents();
    }

    template <typename Widget>
    Widget* control(int id) {
        return dialog_->findChild<Widget*>(QStringLiteral("control%1").arg(id));
    }
    const SettingsRecord& settings() const { return model_->settings(); }

    Document image_;
    SettingsRecord opening_{};
    std::unique_ptr<DialogModel> model_;
    std::unique_ptr<FilterDialog> dialog_;
};

TEST_F(DialogWidgets, EveryKindOfControlReachesTheSettings) {
    dialog_->setColourPicker([](Rgb16, const QString&) { return Rgb16::from8(10, 20, 30); });
    struct Case {
        const char* what;
        std::function<void()> act;
        std::function<bool(const SettingsRecord&)> holds;
    };
    const Case cases[] = {
        {"slider", [&] { control<QSlider>(kControlSpin)->setValue(-70); },
         [](const SettingsRecord& s) { return s.spin == -70.0f; }},
        {"edit box, clamped and shown on its slider",
         [&] {
             control<QLineEdit>(86)->clear();
             QTest::keyClicks(control<QLineEdit>(86), "200");
         },
         [&](const SettingsRecord& s) {
             return s.latitude == 90.0f && control<QSlider>(kControlLatitude)->value() == 90;
         }},
        {"list",
         [&] {
             QComboBox* list = control<QComboBox>(kControlOutput);
             list->setCurrentIndex(list->findData(62));
         },
         [](const SettingsRecord& s) { return s.outputProjection == 62; }},
        {"check box", [&] { control<QCheckBox>(kControlEdges)->click(); },
         [](const SettingsRecord& s) { return s.edges == 1; }},
        {"colour button", [&] { control<QPushButton>(kControlBackdropColor)->click(); },
         [](const SettingsRecord& s) { return s.backdropColor == Rgb16::from8(10, 20, 30); }},
        {"stepping button", [&] { control<QPushButton>(kControlStepGlue)->click(); },
         [](const SettingsRecord& s) { return s.glue == 2; }},
        {"dice, named in the label", [&] { control<QPushButton>(kControlDice)->click(); },
         [&](const SettingsRecord& s) {
             return std::string(s.settingsName) == "random settings" &&
                    control<QLabel>(76)->text() == QStringLiteral("random settings");
         }},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.holds(settings())) << c.what;
    }
    // Undo returns the view before the dice.
    const float latitude = 90.0f;
    control<QPushButton>(kControlUndo)->click();
    EXPECT_EQ(settings().latitude, latitude);
    EXPECT_EQ(settings().glue, 2);
}

TEST_F(DialogWidgets, DraggingThePreviewTurnsTheSphere) {
    QWidget* preview = control<QWidget>(kControlPreview);
    ASSERT_NE(preview, nullptr);
    const QPointF start(preview->width() / 2.0, preview->height() / 2.0);
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, preview->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(preview, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPointF(40, 20), Qt::LeftButton);
    send(QEvent::MouseMove, start + QPointF(60, -30), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + QPointF(60, -30), Qt::NoButton);
    EXPECT_LT(settings().longitude, 0.0f);
    EXPECT_LT(settings().latitude, 0.0f);
    EXPECT_EQ(control<QSlider>(kControlLongitude)->value(), static_cast<int>(std::lround(settings().longitude)));
    // The whole drag is one step of undo.
    control<QPushButton>(kControlUndo)->click();
    EXPECT_EQ(settings().longitude, 0.0f);
    EXPECT_EQ(settings().latitude, 0.0f);
}

TEST_F(DialogWidgets, ParkedDotIsRecalledByAClick) {
    QWidget* dot = dialog_->findChild<QWidget*>(QStringLiteral("dot4"));
    ASSERT_NE(dot, nullptr);
    control<QSlider>(kControlLatitude)->setValue(33);
    QTest::mouseClick(dot, Qt::LeftButton);
    control<QSlider>(kControlLatitude)->setValue(-12);
    QTest::mouseClick(dot, Qt::LeftButton);
    EXPECT_EQ(settings().latitude, 33.0f);
    EXPECT_EQ(control<QSlider>(kControlLatitude)->value(), 33);
    EXPECT_EQ(control<QLabel>(76)->text(), QStringLiteral("dot 5"));
}

TEST_F(DialogWidgets, RightClickOnTheThumbnailWritesTheDotsPage) {
    std::vector<std::string> ran;
    dialog_->setExportInput([](std::string&) { return std::string("/pictures/pano.png"); });
    dialog_->setFilePicker([](bool save, const QString&, const QString& suggested, const QString&) {
        return save ? suggested : QString();
    });
    dialog_->setCommandRunner([&ran](const std::vector<std::string>& args, std::string&) {
        ran = args;
        return kGuiOk;
    });
    QTest::mouseClick(control<QWidget>(kControlThumbnail), Qt::RightButton);
    const std::vector<std::string> expected = {"export", "dots", "/pictures/Globaro 2 memory dots.html",
                                               "/pictures/pano.png"};
    EXPECT_EQ(ran, expected);
}

TEST_F(DialogWidgets, CancelChangesNothing) {
    control<QSlider>(kControlLatitude)->setValue(45);
    control<QPushButton>(kControlLittlePlanet)->click();
    control<QCheckBox>(kControlFlip)->click();
    control<QPushButton>(kControlCancel)->click();
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
    const SettingsRecord& now = settings();
    EXPECT_EQ(now.latitude, opening_.latitude);
    EXPECT_EQ(now.fov, opening_.fov);
    EXPECT_EQ(now.outputProjection, opening_.outputProjection);
    EXPECT_EQ(now.flip, opening_.flip);
    EXPECT_STREQ(now.settingsName, opening_.settingsName);
}

TEST_F(DialogWidgets, ThePreviewIsDrawnAtTheFittingScale) {
    // The quick pass, drawn coarser, is shown at the preview's size too.
    model_->settings().previewQuality = 3;
    std::atomic<int> quickWidth{0};
    QObject::connect(
        &dialog_->renderer(), &PreviewRenderer::rendered, dialog_.get(),
        [&](const QImage& image, quint64, bool final) {
            if (!final) quickWidth = image.width();
        },
        Qt::DirectConnection);
    dialog_->renderPreview();
    ASSERT_TRUE(dialog_->renderer().waitIdle(60000));
    EXPECT_EQ(quickWidth.load(), dialog_->view().width());
    const QImage shown = dialog_->renderer().latest();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.width(), dialog_->view().width());
    EXPECT_EQ(shown.height(), dialog_->view().height());
}

// Requests replace each other: what is finally shown is the newest one,
// exactly as a renderer that was only ever asked for it draws it.
TEST(PreviewRendering, TheNewestRequestWins) {
    startQt();
    Document image;
    std::string error;
    ASSERT_TRUE(makeDemoPanorama(image, 256, 128, 8, error)) << error;
    SettingsRecord settings;
    openingSettings(settings);
    PreviewView view;
    view.fit(image.width, image.height, 128, 64);
    PreviewRenderer both(image), newest(image);
    for (int i = 0; i < 6; ++i) {
        settings.longitude = static_cast<float>(i * 30);
        both.request(settings, view);
    }
    newest.request(settings, view);
    ASSERT_TRUE(both.waitIdle(60000));
    ASSERT_TRUE(newest.waitIdle(60000));
    ASSERT_FALSE(newest.latest().isNull());
    EXPECT_EQ(both.latest(), newest.latest());
}

TEST(SmallBoxes, ProgressShowsThePercentageThenCancelling) {
    startQt();
    ProgressBox box(nullptr);
    box.setProgress(0.5);
    EXPECT_EQ(box.percentText(), QStringLiteral("50%"));
    bool asked = false;
    QObject::connect(&box, &ProgressBox::cancelRequested, [&] { asked = true; });
    box.reject();  // Escape, or the Cancel button
    EXPECT_TRUE(asked);
    EXPECT_EQ(box.percentText(), QStringLiteral("Cancelling..."));
}

TEST(SmallBoxes, AboutOpensOnce) {
    startQt();
    QWidget owner;
    QDialog* first = showAbout(&owner);
    EXPECT_EQ(showAbout(&owner), first);
    EXPECT_EQ(owner.findChildren<QDialog*>().size(), 1);
}

// OK hands the chosen settings to `globaro render`: the file is the one the
// same settings give on the command line.
TEST(DialogOk, WritesWhatTheRenderCommandWrites) {
    startQt();
    Document image;
    std::string error;
    ASSERT_TRUE(makeDemoPanorama(image, 128, 64, 8, error)) << error;
    const std::string folder = tempFolder();
    const std::string input = folder + "ok-in.png", fromDialog = folder + "ok-dialog.png",
                      fromCli = folder + "ok-cli.png";
    ASSERT_TRUE(saveDocument(input, image, 0, error)) << error;
    SettingsRecord settings;
    openingSettings(settings);
    DialogModel model(settings);
    model.setChoice(kControlOutput, *findOutputProjection("Mollweide"));
    model.setSlider(kControlLatitude, 20);
    model.setChecked(kControlFlip, true);
    ASSERT_EQ(renderWithSettings(nullptr, input, fromDialog, model.settings(), error), kGuiOk) << error;
    const auto cli =
        testing_cli::runCli("render '" + input + "' '" + fromCli + "' --output Mollweide --lat 20 --flip --quiet");
    ASSERT_EQ(cli.status, 0) << cli.output;
    EXPECT_FALSE(fileBytes(fromDialog).empty());
    EXPECT_EQ(fileBytes(fromDialog), fileBytes(fromCli));
}

TEST(DialogCli, WithoutADisplayGuiSaysWhyInOneLine) {
    for (const char* command : {"gui", "render in.png out.png --dialog"}) {
        const auto o = testing_cli::runCli(command, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ");
        EXPECT_EQ(o.status, 1) << command;
        EXPECT_NE(o.output.find("no display"), std::string::npos) << o.output;
        EXPECT_EQ(o.output.find('\n'), o.output.size() - 1) << o.output;
    }
}

}  // namespace
}  // namespace globaro
