#include "main_window/picture_box.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace chromola {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QByteArray& encoded, const QByteArray& format) {
    encoded_ = encoded;
    format_ = format;
    scaled_ = QPixmap();
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0 || encoded_.isEmpty()) {
        return;
    }
    if (scaled_.size() != size()) {
        QBuffer buffer(&encoded_);
        QImageReader reader(&buffer, format_);
        // Otherwise every plugin is asked first whether it reads the format.
        reader.setAutoDetectImageFormat(false);
        reader.setScaledSize(size());
        reader.setQuality(75);  // smooth scaling
        scaled_ = QPixmap::fromImage(reader.read());
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, scaled_);
}

}  // namespace chromola
