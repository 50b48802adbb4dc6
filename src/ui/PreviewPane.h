#pragma once

#include <QImage>
#include <QWidget>

#include "app/ContentPreview.h"
#include "scan/DeletedFile.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QToolButton;

namespace qv {

// A picture scaled down to fit its widget, its proportions kept, centred.
class ImageView final : public QWidget {
    Q_OBJECT
public:
    explicit ImageView(QWidget* parent) : QWidget(parent) {}
    void SetImage(QImage image);
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

// The preview of one listed file: a line with its name and state, what part of it is shown, and
// its content as a picture, as text or as a hex dump. It only shows what it is given; the
// reading is PreviewLoader's.
class PreviewPane final : public QWidget {
    Q_OBJECT
public:
    enum class Showing { kMessage, kImage, kText, kHex };

    explicit PreviewPane(QWidget* parent);

    // A hint when no file is chosen.
    void ShowNothing();
    void ShowReading(const DeletedFile& file);
    // picture: the content decoded, when it is a picture Qt can read; other pictures (damaged or
    // cut short) are shown as a hex dump.
    void ShowContent(const DeletedFile& file, const PreviewContent& content, const QImage& picture);
    void ShowFailure(const DeletedFile& file, const Error& error);

    Showing Shown() const { return shown_; }
    QLabel* Heading() const { return heading_; }
    QLabel* Extent() const { return extent_; }
    QLabel* Message() const { return message_; }
    ImageView* Picture() const { return picture_; }
    QPlainTextEdit* Text() const { return text_; }
    QToolButton* HideButton() const { return hide_; }

signals:
    void hideRequested();

private:
    void Show(Showing what, QWidget* page);

    QLabel* heading_;
    QToolButton* hide_;
    QLabel* extent_;
    QStackedWidget* pages_;
    QLabel* message_;
    ImageView* picture_;
    QPlainTextEdit* text_;
    Showing shown_ = Showing::kMessage;
};

}  // namespace qv
