// The splash window.
#include "app/shell/splash_window.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace tolvane {

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(
        QStringLiteral("QWidget#frmSplash { background: #1d2733; } QLabel { color: #e8edf2; }"));
    auto* logo = new QLabel(this);
    QPixmap pix(96, 96);
    pix.fill(Qt::transparent);
    {
        QSvgRenderer svg(QStringLiteral(":/icons/tolvane.svg"));
        QPainter p(&pix);
        svg.render(&p);
    }
    logo->setPixmap(pix);
    logo->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(QStringLiteral("Tolvane"), this);
    QFont f = title->font();
    f.setPointSize(28);
    f.setBold(true);
    title->setFont(f);
    title->setAlignment(Qt::AlignCenter);
    auto* subtitle =
        new QLabel(tr("Wiring design and documentation for audio, video and broadcast"), this);
    subtitle->setAlignment(Qt::AlignCenter);
    version_ = new QLabel(this);
    version_->setObjectName(QStringLiteral("lblVersion"));
    version_->setAlignment(Qt::AlignCenter);
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("lblInfo"));
    info_->setAlignment(Qt::AlignLeft);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 12);
    layout->addWidget(logo);
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addWidget(version_);
    layout->addStretch(1);
    layout->addWidget(info_);
    resize(460, 300);
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void SplashWindow::setInfo(const QString& text) {
    info_->setText(text);
    info_->repaint();
}

void SplashWindow::setVersion(const QString& text) {
    version_->setText(text);
}

}  // namespace tolvane
