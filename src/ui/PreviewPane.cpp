#include "ui/PreviewPane.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/PreviewTexts.h"
#include "platform/Text.h"
#include "ui/QtText.h"

namespace qv {

void ImageView::SetImage(QImage image) {
    image_ = std::move(image);
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    // Shrunk to fit, never enlarged: a small picture's pixels stay sharp.
    QSize size = image_.size();
    if (size.width() > width() || size.height() > height())
        size.scale(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("preview"));
    heading_ = new QLabel(this);
    heading_->setTextFormat(Qt::PlainText);
    heading_->setWordWrap(true);
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    hide_ = new QToolButton(this);
    hide_->setText(QStringLiteral("Hide"));
    hide_->setToolTip(QStringLiteral("Hide the preview (the list's menu shows it again)"));
    hide_->setAutoRaise(true);
    connect(hide_, &QToolButton::clicked, this, &PreviewPane::hideRequested);
    extent_ = new QLabel(this);
    extent_->setTextFormat(Qt::PlainText);
    extent_->setEnabled(false);  // drawn in the quieter colour of a disabled label

    message_ = new QLabel(this);
    message_->setTextFormat(Qt::PlainText);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    picture_ = new ImageView(this);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setUndoRedoEnabled(false);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setStyleHint(QFont::Monospace);
    text_->setFont(mono);
    pages_ = new QStackedWidget(this);
    for (QWidget* page : {static_cast<QWidget*>(message_), static_cast<QWidget*>(picture_),
                          static_cast<QWidget*>(text_)})
        pages_->addWidget(page);

    auto* top = new QHBoxLayout;
    top->addWidget(heading_, 1);
    top->addWidget(hide_, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(extent_);
    layout->addWidget(pages_, 1);
    ShowNothing();
}

void PreviewPane::Show(Showing what, QWidget* page) {
    shown_ = what;
    extent_->setVisible(!extent_->text().isEmpty());  // no empty line above the content
    pages_->setCurrentWidget(page);
    if (what != Showing::kImage) picture_->SetImage({});
    if (what != Showing::kText && what != Showing::kHex) text_->clear();
}

void PreviewPane::ShowNothing() {
    heading_->clear();
    extent_->clear();
    message_->setText(QStringLiteral("Select a file in the list to see what it holds."));
    Show(Showing::kMessage, message_);
}

void PreviewPane::ShowReading(const DeletedFile& file) {
    heading_->setText(ToQString(PreviewHeading(file)));
    extent_->clear();
    message_->setText(QStringLiteral("Reading…"));
    Show(Showing::kMessage, message_);
}

void PreviewPane::ShowFailure(const DeletedFile& file, const Error& error) {
    heading_->setText(ToQString(PreviewHeading(file)));
    extent_->clear();
    message_->setText(QStringLiteral("The file cannot be read: ") +
                      QString::fromStdString(error.Text()));
    Show(Showing::kMessage, message_);
}

void PreviewPane::ShowContent(const DeletedFile& file, const PreviewContent& content,
                              const QImage& picture) {
    heading_->setText(ToQString(PreviewHeading(file)));
    const std::span<const uint8_t> bytes(content.bytes);
    QString note;
    if (content.kind == PreviewKind::kImage) {
        if (!picture.isNull()) {
            extent_->setText(ToQString(PreviewExtent(file, content, bytes.size())));
            picture_->SetImage(picture);
            Show(Showing::kImage, picture_);
            return;
        }
        note = QStringLiteral("not a picture that can be shown (damaged or cut short); ");
    }
    const bool text = content.kind == PreviewKind::kText;
    const size_t shown = text ? bytes.size() : std::min(bytes.size(), kHexPreviewCap);
    const QString extent = ToQString(PreviewExtent(file, content, shown));
    extent_->setText(
        note.isEmpty() ? extent : note + (extent.isEmpty() ? QStringLiteral("its bytes") : extent));
    text_->setLineWrapMode(text ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    text_->setPlainText(text ? ToQString(DecodeText(bytes))
                             : QString::fromLatin1(HexDump(bytes).c_str()));
    Show(text ? Showing::kText : Showing::kHex, text_);
}

}  // namespace qv
