#include "ui/gui_session.h"

#include <CLI/CLI.hpp>

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "app/demo_panorama.h"
#include "app/document.h"
#include "app/image_io.h"
#include "platform/display.h"
#include "platform/temp_folder.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"
#include "ui/dialog_exports.h"
#include "ui/filter_dialog.h"
#include "ui/preview_renderer.h"
#include "ui/small_boxes.h"

namespace globaro {
namespace {

bool g_starting = true;

// While Qt starts, its complaints become one line: a display that cannot be
// reached ends the program with a reason instead of an abort.
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "globaro gui: cannot open a window: %s\n",
                     message.section(QLatin1Char('\n'), 0, 0).toLocal8Bit().constData());
        std::_Exit(kGuiFailed);
    }
    if (g_starting) return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

std::string lastLine(const QByteArray& text) {
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return lines.isEmpty() ? std::string() : lines.last().toStdString();
}

}  // namespace

bool windowsAvailable(std::string& why) { return windowSystemReachable(why); }

void openingSettings(SettingsRecord& settings) {
    settings = SettingsRecord{};
    resetRunState(settings);
    resetExportOptions(settings);
    resetToDefaults(settings);
    setName(settings.settingsName, "Globaro 2 settings");
    loadCachedSettings(settings);
}

std::string siblingProgram(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? name : (self.parent_path() / name).string();
}

int runGlobaro(QWidget* owner, const std::vector<std::string>& args, std::string& error) {
    QProcess process;
    process.setProgram(QString::fromStdString(siblingProgram("globaro")));
    QStringList arguments;
    for (const std::string& a : args) arguments.push_back(QString::fromStdString(a));
    process.setArguments(arguments);
    ProgressBox box(owner);
    QEventLoop loop;
    QByteArray errors, pending;
    QObject::connect(&box, &ProgressBox::cancelRequested, &process, &QProcess::terminate);
    QObject::connect(&process, &QProcess::readyReadStandardError, &box, [&] {
        const QByteArray more = process.readAllStandardError();
        errors += more;
        pending += more;
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            if (const std::optional<double> done = progressOfLine(pending.left(end).toStdString()))
                box.setProgress(*done);
            pending.remove(0, end + 1);
        }
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) loop.quit();
    });
    process.start();
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart) {
        box.show();
        if (process.state() != QProcess::NotRunning) loop.exec();
    }
    box.hide();
    if (process.error() == QProcess::FailedToStart) {
        error = "cannot start \"" + process.program().toStdString() + "\"";
        return kGuiFailed;
    }
    if (box.cancelling()) return kGuiCancelled;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        errors += process.readAllStandardError();
        error = lastLine(errors);
        if (error.empty()) error = "\"globaro " + (args.empty() ? std::string() : args.front()) + "\" failed";
        return kGuiFailed;
    }
    return kGuiOk;
}

int renderWithSettings(QWidget* owner, const std::string& input, const std::string& output, SettingsRecord& settings,
                       std::string& error) {
    const std::string presetPath = tempFolder() + "Globaro 2 dialog " + std::to_string(getpid()) + ".q2q";
    if (writeSettingsFile(presetPath, settings, nullptr) != kFileOk) {
        error = "cannot write the settings to \"" + presetPath + "\"";
        return kGuiFailed;
    }
    const int status = runGlobaro(owner, {"render", input, output, "--preset", presetPath, "--quiet"}, error);
    std::remove(presetPath.c_str());
    if (status == kGuiFailed && error.rfind("\"globaro", 0) == 0) error = "the render of \"" + input + "\" failed";
    return status;
}

int runGui(int argc, char** argv) {
    CLI::App cli{"Globaro 2: the filter dialog", "globaro gui"};
    cli.failure_message(
        [](const CLI::App*, const CLI::Error& e) { return "globaro gui: " + std::string(e.what()) + "\n"; });
    std::string imagePath, outPath, editPath, screenshotPath;
    cli.add_option("image", imagePath, "Image to open (default: the demo panorama)");
    cli.add_option("--out", outPath, "Where OK saves the result (default: asked in a save dialog)");
    cli.add_option("--edit", editPath,
                   "Edit the settings of this settings file; OK writes them back, nothing is rendered");
    cli.add_option("--screenshot", screenshotPath,
                   "Save a picture of the dialog, once its preview is drawn, as PNG and quit");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e) == 0 ? kGuiOk : kGuiUsage;
    }
    std::string why;
    if (!windowsAvailable(why)) {
        std::cerr << "globaro gui: cannot open a window: " << why << "\n";
        return kGuiFailed;
    }
    qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    g_starting = false;
    qInstallMessageHandler(nullptr);

    Document image;
    std::string error;
    const bool demo = imagePath.empty();
    if (demo ? !makeDemoPanorama(image, 2048, 1024, 8, error) : !loadDocument(imagePath, image, error)) {
        std::cerr << "globaro gui: " << error << "\n";
        return kGuiFailed;
    }

    SettingsRecord settings;
    openingSettings(settings);
    if (!editPath.empty()) {
        resetToDefaults(settings);
        const SettingsReadResult read = readSettingsFile(editPath, SettingsReadMode::kLoad, settings, nullptr);
        if (read.status != kFileOk) {
            std::cerr << "globaro gui: cannot read the settings file \"" << editPath << "\"\n";
            return kGuiFailed;
        }
    }
    DialogModel model(settings, static_cast<std::uint32_t>(std::time(nullptr)));
    model.open();
    FilterDialog dialog(model, image);
    dialog.resize(1220, 700);
    // The exports and the render read an image file: the demo panorama is
    // saved once, when first needed, and removed at the end.
    std::string demoFile;
    const auto inputFile = [&](std::string& why) -> std::string {
        if (!demo) return imagePath;
        if (demoFile.empty()) {
            const std::string path = tempFolder() + "Globaro 2 demo panorama " + std::to_string(getpid()) + ".png";
            if (!saveDocument(path, image, 0, why)) return {};
            demoFile = path;
        }
        return demoFile;
    };
    const auto removeDemo = [&demoFile] {
        if (!demoFile.empty()) std::remove(demoFile.c_str());
    };
    dialog.setExportInput(inputFile);
    if (!screenshotPath.empty()) {
        dialog.show();
        QApplication::processEvents();
        dialog.renderPreview();
        dialog.renderer().waitIdle(60000);
        QApplication::processEvents();
        const bool saved = dialog.grab().save(QString::fromStdString(screenshotPath), "PNG");
        if (!saved) std::cerr << "globaro gui: cannot write \"" << screenshotPath << "\"\n";
        return saved ? kGuiOk : kGuiFailed;
    }
    const bool ok = dialog.exec() == QDialog::Accepted;
    model.saveDots();
    if (!ok) {
        removeDemo();
        return kGuiCancelled;
    }
    if (!editPath.empty()) {
        removeDemo();
        if (writeSettingsFile(editPath, model.settings(), nullptr) != kFileOk) {
            std::cerr << "globaro gui: cannot write the settings file \"" << editPath << "\"\n";
            return kGuiFailed;
        }
        return kGuiOk;
    }
    const std::string input = inputFile(error);
    if (input.empty()) {
        std::cerr << "globaro gui: " << error << "\n";
        return kGuiFailed;
    }
    if (outPath.empty()) {
        const std::filesystem::path in(demo ? std::string("demo-panorama.png") : imagePath);
        const std::string suggested = (in.parent_path() / (in.stem().string() + "-globaro.png")).string();
        outPath =
            QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the result"), QString::fromStdString(suggested))
                .toStdString();
    }
    int status = kGuiCancelled;
    if (!outPath.empty()) {
        status = renderWithSettings(nullptr, input, outPath, model.settings(), error);
        if (status == kGuiFailed) {
            std::cerr << "globaro gui: " << error << "\n";
            QMessageBox::critical(nullptr, QStringLiteral("Globaro 2"), QString::fromStdString(error));
        } else if (status == kGuiOk) {
            std::cout << "wrote " << outPath << "\n";
        }
    }
    removeDemo();
    return status;
}

}  // namespace globaro
