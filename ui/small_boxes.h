#pragma once
// The small windows around the dialog: the progress box of a long job with
// its cancel button, the about box and the information box. The about and
// information boxes exist at most once: asking again brings the open one to
// the front.

#include <QDialog>

class QLabel;

namespace globaro {

class ProgressBox : public QDialog {
    Q_OBJECT
public:
    explicit ProgressBox(QWidget* owner);
    // fraction 0..1 of stage `stage` (0 for single-stage jobs): the text
    // becomes the percentage of the whole.
    void setProgress(double fraction, int stage = 0);
    // The user asked to stop; the box says so until the job ends.
    void markCancelling();
    bool cancelling() const { return cancelling_; }
    QString percentText() const;

    void reject() override;  // Cancel, Escape and the close button

Q_SIGNALS:
    void cancelRequested();

private:
    QLabel* percent_;
    bool cancelling_ = false;
};

// The about box (the dialog's "?" icon).
QDialog* showAbout(QWidget* owner);
// The information box (the dialog's button "A" beside the preview).
QDialog* showInfo(QWidget* owner);

}  // namespace globaro
