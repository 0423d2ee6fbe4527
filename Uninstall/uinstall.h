// `Uinstall`: the remover's one window with its one button.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <functional>

namespace uninstall {

// Shows the outcome; a seam so that tests can read it.
using MessageFn = std::function<void(const QString& text)>;
void ShowOutcome(const QString& text);

class Uinstall : public QWidget {
    Q_OBJECT
  public:
    explicit Uinstall(MessageFn message = ShowOutcome, QWidget* parent = nullptr);

    QLabel* Label1;
    QPushButton* Command1;

  private:
    MessageFn message_;
};

}  // namespace uninstall
