// `Image1`: a decorative picture drawn stretched over the whole control.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace chromola {

class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture);
    const QPixmap& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap picture_;
    QPixmap scaled_;  // the picture at the current size, made once per resize
};

}  // namespace chromola
