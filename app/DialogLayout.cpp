// The main window as it grows: the layout's size is the smallest, the lists
// take what the window gains, and the controls below and right of them move
// along.
#include "DialogFileRecovery.h"

#include <QLabel>
#include <QRect>
#include <QResizeEvent>
#include <QVariant>

namespace {

constexpr int MinimumWidth = 618;
constexpr int MinimumHeight = 413;

enum class Anchor {
    // Grows with the window both ways: the three lists.
    Grow,
    // Moves down and grows as wide: bars, the narrowing box, the
    // destination box.
    Widen,
    // Moves down and right: the buttons and texts at the right.
    Corner,
    // Moves down and halfway right: the version between the two links.
    Middle,
    // Moves down: what lies at the left below the lists.
    Down,
};

Anchor AnchorOf(int id, bool hint)
{
    if (hint)
        return Anchor::Corner;
    switch (id) {
    case 100:
    case 103:
    case 105:
        return Anchor::Grow;
    case 102:
    case CDialogFileRecovery::kScanInfoId:
    case 107:
    case 109:
    case CDialogFileRecovery::kNarrowBoxId:
    case 1004:
        return Anchor::Widen;
    case 101:
    case 104:
    case 110:
    case 111:
    case 112:
    case 113:
    case 116:
    case 118:
    case 120:
    case CDialogFileRecovery::kAddImageId:
    case CDialogFileRecovery::kPreviewId:
    case CDialogFileRecovery::kDeepSearchId:
        return Anchor::Corner;
    case 119:
        return Anchor::Middle;
    default:
        return Anchor::Down;
    }
}

} // namespace

void CDialogFileRecovery::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayOut();
}

void CDialogFileRecovery::LayOut()
{
    const int dx = std::max(0, width() - MinimumWidth);
    const int dy = std::max(0, height() - MinimumHeight);
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QVariant base = child->property("baseGeometry");
        if (!base.isValid())
            continue;
        QRect place = base.toRect();
        switch (AnchorOf(child->property("controlId").toInt(), child == m_pHint)) {
        case Anchor::Grow:
            place.setWidth(place.width() + dx);
            place.setHeight(place.height() + dy);
            break;
        case Anchor::Widen:
            place.translate(0, dy);
            place.setWidth(place.width() + dx);
            break;
        case Anchor::Corner:
            place.translate(dx, dy);
            break;
        case Anchor::Middle:
            place.translate(dx / 2, dy);
            break;
        case Anchor::Down:
            place.translate(0, dy);
            break;
        }
        child->setGeometry(place);
    }
}
