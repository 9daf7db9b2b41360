// A text that behaves like a link: underlined while the mouse is over it,
// and a click opens its target (a web address or a mail link).
#pragma once

#include <QLabel>
#include <QString>

class CZelStaticLink : public QLabel {
    Q_OBJECT
public:
    explicit CZelStaticLink(QWidget* parent = nullptr);

    void SetTarget(const QString& target) { m_Target = target; }
    const QString& Target() const { return m_Target; }
    // 1 underlined (the mouse is over it), 2 plain after the mouse left, -1
    // not hovered yet.
    int HoverState() const { return m_HoverState; }
    // How many times the font was changed.
    int FontChanges() const { return m_FontChanges; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Underline(bool on, int state);

    QString m_Target;
    int m_HoverState = -1;
    int m_FontChanges = 0;
};
