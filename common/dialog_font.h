// The windows of both programs are laid out for the classic 8-point dialog
// font: 11 pixels high and about as wide as Arial. Header only, so that the
// common library itself needs no widgets.
#pragma once

#include <QFont>
#include <QWidget>

namespace chromola {

inline void UseDialogFont(QWidget* window) {
    QFont font = window->font();
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), font.family()});
    font.setPixelSize(11);
    window->setFont(font);
}

}  // namespace chromola
