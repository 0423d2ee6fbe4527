#include "uinstall.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "common/dialog_font.h"
#include "common/twips.h"
#include "settings_remover.h"

static void InitResources() {
    Q_INIT_RESOURCE(uninstall);
}

namespace uninstall {

void ShowOutcome(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Uninstall"), text, QMessageBox::Ok);
    box.exec();
}

Uinstall::Uinstall(MessageFn message, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      message_(std::move(message)) {
    InitResources();
    setWindowTitle(QStringLiteral("Удаление ключей реестра"));
    chromola::UseDialogFont(this);
    setWindowIcon(QIcon(QStringLiteral(":/uninstall/uninstall.png")));
    setFixedSize(QSize(chromola::TwipsToPixels(3210), chromola::TwipsToPixels(1410)));

    Label1 = new QLabel(QStringLiteral("Rozuzer очистка реестра от мусора"), this);
    Label1->move(chromola::TwipsToPixels(300), chromola::TwipsToPixels(300));
    Label1->adjustSize();  // the label's width follows its text

    Command1 = new QPushButton(QStringLiteral("Удалить раздел"), this);
    Command1->setGeometry(chromola::TwipsRect(780, 720, 1515, 375));
    Command1->setFocus();
    connect(Command1, &QPushButton::clicked, this, [this] { message_(RemoveSettings()); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
}

}  // namespace uninstall
