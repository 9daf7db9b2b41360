#include "ZelStaticLink.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

CZelStaticLink::CZelStaticLink(QWidget* parent) : QLabel(parent)
{
    setMouseTracking(true);
}

void CZelStaticLink::Underline(bool on, int state)
{
    // Face, size and weight stay those the parent gave; only the underline
    // changes.
    if (m_HoverState == state)
        return;
    QFont changed = font();
    changed.setUnderline(on);
    setFont(changed);
    ++m_FontChanges;
    m_HoverState = state;
}

void CZelStaticLink::enterEvent(QEnterEvent* event)
{
    Underline(true, 1);
    QLabel::enterEvent(event);
}

void CZelStaticLink::mouseMoveEvent(QMouseEvent* event)
{
    Underline(true, 1);
    QLabel::mouseMoveEvent(event);
}

void CZelStaticLink::leaveEvent(QEvent* event)
{
    Underline(false, 2);
    QLabel::leaveEvent(event);
}

void CZelStaticLink::mousePressEvent(QMouseEvent* event)
{
    // A target the desktop cannot open changes nothing.
    if (event->button() == Qt::LeftButton && !m_Target.isEmpty())
        QDesktopServices::openUrl(QUrl(m_Target));
    QLabel::mousePressEvent(event);
}
