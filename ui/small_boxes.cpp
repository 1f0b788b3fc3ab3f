#include "ui/small_boxes.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "export/export_job.h"

namespace globaro {

ProgressBox::ProgressBox(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Progress"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Rendering..."), this));
    percent_ = new QLabel(QStringLiteral("0%"), this);
    percent_->setObjectName(QStringLiteral("percent"));
    layout->addWidget(percent_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &ProgressBox::reject);
    layout->addWidget(buttons);
    setMinimumWidth(220);
}

void ProgressBox::setProgress(double fraction, int stage) {
    if (cancelling_) return;
    const int permille = static_cast<int>(stage * 1000 + std::clamp(fraction, 0.0, 1.0) * 1000);
    percent_->setText(QStringLiteral("%1%").arg(permille * 100 / 1000));
}

void ProgressBox::markCancelling() {
    cancelling_ = true;
    percent_->setText(QStringLiteral("Cancelling..."));
}

QString ProgressBox::percentText() const { return percent_->text(); }

void ProgressBox::reject() {
    if (cancelling_) return;
    markCancelling();
    Q_EMIT cancelRequested();
}

namespace {

QDialog* showOnce(QPointer<QDialog>& open, QWidget* owner, const QString& title, const QString& text,
                  const std::function<void(QDialog*, QVBoxLayout*)>& more = {}) {
    if (open) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* box = new QDialog(owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(title);
    auto* layout = new QVBoxLayout(box);
    auto* label = new QLabel(text, box);
    label->setWordWrap(true);
    label->setTextFormat(Qt::RichText);
    layout->addWidget(label);
    if (more) more(box, layout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, box);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::close);
    layout->addWidget(buttons);
    box->setMaximumWidth(560);
    open = box;
    box->show();
    return box;
}

}  // namespace

QDialog* showAbout(QWidget* owner) {
    static QPointer<QDialog> open;
    return showOnce(open, owner, QStringLiteral("About"),
                    QStringLiteral("<h2>Globaro 2</h2><p>Turns spherical panoramas and world maps into other "
                                   "projections: world maps, cube maps, polyhedron nets, globe gores and more.</p>"),
                    [](QDialog* box, QVBoxLayout* layout) {
                        // The maker's site: opened in the browser, and the box closes.
                        const QString address =
                            QString::fromUtf8(kMakerWebAddress.data(), static_cast<qsizetype>(kMakerWebAddress.size()));
                        auto* web = new QPushButton(address, box);
                        web->setObjectName(QStringLiteral("makerWebSite"));
                        QObject::connect(web, &QPushButton::clicked, box, [box, address] {
                            QDesktopServices::openUrl(QUrl(address));
                            box->close();
                        });
                        layout->addWidget(web);
                    });
}

QDialog* showInfo(QWidget* owner) {
    static QPointer<QDialog> open;
    return showOnce(
        open, owner, QStringLiteral("Info"),
        QStringLiteral(
            "<h3>The preview</h3><p>Drag to turn the sphere; drag with Shift or the right button to scroll a "
            "zoomed-in preview. <b>-</b>, <b>+</b> and <b>%</b> zoom.</p>"
            "<h3>Memory dots</h3><p>Click an empty dot to park the settings on it, a filled one to recall them. "
            "Ctrl-click parks for this session only (or stops keeping a filled dot); a right click clears a dot.</p>"
            "<h3>Buttons</h3><p><b>Undo</b> toggles between the last two states. <b>Dice</b> and "
            "<b>Constrained</b> throw random views; the small A and B buttons step to the next choice of their "
            "list.</p>"));
}

}  // namespace globaro
