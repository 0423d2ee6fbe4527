#include "main_window/picture_box.h"

#include <QPainter>

namespace chromola {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QPixmap& picture) {
    picture_ = picture;
    scaled_ = QPixmap();
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0 || picture_.isNull()) {
        return;
    }
    if (scaled_.size() != size()) {
        scaled_ = picture_.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, scaled_);
}

}  // namespace chromola
