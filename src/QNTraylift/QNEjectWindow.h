// SPDX-License-Identifier: MIT
#pragma once
// QNEjectWindow: the agent's borderless, slightly transparent panel. It floats
// above other windows without taking the focus, and sits centred on the main
// screen, raised 50 points above the middle.
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

class QNEjectWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal kAlpha = 0.9;
    /// How far the panel sits above the vertical centre of the screen.
    static constexpr qreal kRaise = 50.0;

    explicit QNEjectWindow(QWidget* parent = nullptr);

    /// Origin of a panel of `panelSize` on a screen whose frame is
    /// `screenFrame`, both in screen coordinates growing upward (origin at the
    /// bottom-left): centred horizontally, centred vertically then raised by
    /// kRaise. 1280x800 at (0,0) with 300x200 gives (490, 350).
    static QPointF panelOrigin(const QRectF& screenFrame, const QSizeF& panelSize);
    /// The same place in Qt's coordinates (origin top-left, growing downward),
    /// given the height of the primary screen that both systems share.
    static QPoint topLeftForOrigin(const QPointF& origin, const QSizeF& panelSize, qreal primaryScreenHeight);

    /// Moves the panel to its place on the primary screen.
    void placeOnMainScreen();

protected:
    void paintEvent(QPaintEvent* event) override;
};
