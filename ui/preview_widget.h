#pragma once
// The preview area: shows the latest preview image centred, and turns the
// pointer into commands. A left drag turns the sphere; a right drag, or a
// left drag with Shift held, scrolls a zoomed-in preview.

#include <QImage>
#include <QPoint>
#include <QWidget>

namespace globaro {

class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // The area a preview may fill: the widget shrunk by 2 pixels a side.
    QSize areaSize() const;
    QSize sizeHint() const override { return {640, 400}; }

Q_SIGNALS:
    void dragStarted();
    // Offset from the start of the drag, in preview pixels.
    void turnedBy(int dx, int dy);
    // Movement since the last event, in preview pixels.
    void scrolledBy(int dx, int dy);
    void dragEnded(bool scrolled);
    void areaResized();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QImage image_;
    QPoint start_, last_;
    bool dragging_ = false;
    bool scrolling_ = false;
};

}  // namespace globaro
