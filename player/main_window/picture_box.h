// `Image1`: a decorative picture drawn stretched over the whole control.
#pragma once

#include <QByteArray>
#include <QPixmap>
#include <QWidget>

namespace chromola {

class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);
    // The picture's encoded bytes and their format as Qt names it ("jpeg",
    // "png"...). Only the compressed form is kept; it is decoded straight to
    // the control's size when that changes, which for a JPEG also costs a
    // fraction of a full-size decode. The format named, Qt loads that one
    // image plugin instead of every one it has to ask which can read it.
    void setPicture(const QByteArray& encoded, const QByteArray& format);
    bool hasPicture() const { return !encoded_.isEmpty(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QByteArray encoded_;
    QByteArray format_;
    QPixmap scaled_;  // the picture at the current size
};

}  // namespace chromola
