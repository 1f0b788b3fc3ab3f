#include "ui/preview_widget.h"

#include <QMouseEvent>
#include <QPainter>

namespace globaro {

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("control18"));
    setMinimumSize(320, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::OpenHandCursor);
}

void PreviewWidget::setImage(const QImage& image) {
    image_ = image;
    update();
}

QSize PreviewWidget::areaSize() const { return {std::max(width() - 4, 1), std::max(height() - 4, 1)}; }

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    if (image_.isNull()) return;
    const QPoint at((width() - image_.width()) / 2, (height() - image_.height()) / 2);
    painter.drawImage(at, image_);
}

void PreviewWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    dragging_ = true;
    scrolling_ = event->button() == Qt::RightButton || (event->modifiers() & Qt::ShiftModifier);
    start_ = last_ = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
    Q_EMIT dragStarted();
}

void PreviewWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const QPoint at = event->position().toPoint();
    if (at == last_) return;
    if (scrolling_)
        Q_EMIT scrolledBy(at.x() - last_.x(), at.y() - last_.y());
    else
        Q_EMIT turnedBy(at.x() - start_.x(), at.y() - start_.y());
    last_ = at;
}

void PreviewWidget::mouseReleaseEvent(QMouseEvent*) {
    if (!dragging_) return;
    dragging_ = false;
    setCursor(Qt::OpenHandCursor);
    Q_EMIT dragEnded(scrolling_);
}

void PreviewWidget::resizeEvent(QResizeEvent*) { Q_EMIT areaResized(); }

}  // namespace globaro
