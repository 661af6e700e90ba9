// SPDX-License-Identifier: MIT
#include "QNEjectWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <cmath>

QNEjectWindow::QNEjectWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(false);
    setWindowOpacity(kAlpha);
}

QPointF QNEjectWindow::panelOrigin(const QRectF& screenFrame, const QSizeF& panelSize)
{
    const double x = screenFrame.x() + (screenFrame.width() - panelSize.width()) * 0.5;
    const double y = screenFrame.y() + (screenFrame.height() - panelSize.height()) * 0.5 + kRaise;
    return {x, y};
}

QPoint QNEjectWindow::topLeftForOrigin(const QPointF& origin, const QSizeF& panelSize, qreal primaryScreenHeight)
{
    const double top = primaryScreenHeight - (origin.y() + panelSize.height());
    return {int(std::lround(origin.x())), int(std::lround(top))};
}

void QNEjectWindow::placeOnMainScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect g = screen->geometry();
    const qreal primaryHeight = g.height();
    // The primary screen's frame in upward-growing coordinates.
    const QRectF frame(g.x(), primaryHeight - (g.y() + g.height()), g.width(), g.height());
    const QSizeF size = this->size();
    move(topLeftForOrigin(panelOrigin(frame, size), size, primaryHeight));
}

void QNEjectWindow::paintEvent(QPaintEvent*)
{
    // A dark rounded plate; the window itself has a transparent background.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 18, 18);
    p.fillPath(plate, QColor(20, 20, 24, 225));
}
