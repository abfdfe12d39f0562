#include "app/app_p.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace zf::app {

TRzSizePanel::TRzSizePanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RzSizePanel1"));
    setAutoFillBackground(true);
    setMouseTracking(true); // the size bar shows a resize cursor
}

void TRzSizePanel::setContent(QWidget* content)
{
    m_content = content;
    content->setParent(this);
    content->setGeometry(0, 0, std::max(0, width() - kSizeBarWidth), height());
    content->setVisible(!m_collapsed);
}

void TRzSizePanel::setPanelWidth(int width)
{
    setFixedWidth(std::max(width, kSizeBarWidth));
}

void TRzSizePanel::setCollapsed(bool collapsed)
{
    if (collapsed == m_collapsed) {
        return;
    }
    m_collapsed = collapsed;
    if (collapsed) {
        m_restoreWidth = width();
        setPanelWidth(kSizeBarWidth);
    } else {
        setPanelWidth(m_restoreWidth);
    }
    if (m_content != nullptr) {
        m_content->setVisible(!collapsed);
    }
}

QRect TRzSizePanel::sizeBarRect() const
{
    return QRect(width() - kSizeBarWidth, 0, kSizeBarWidth, height());
}

QRect TRzSizePanel::hotSpotRect() const
{
    const QRect bar = sizeBarRect();
    return QRect(bar.left(), (height() - kHotSpotHeight) / 2, kSizeBarWidth, kHotSpotHeight);
}

void TRzSizePanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_content != nullptr) {
        m_content->setGeometry(0, 0, std::max(0, width() - kSizeBarWidth), height());
    }
    if (event->oldSize().width() != width()) {
        emit resized();
    }
}

void TRzSizePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect bar = sizeBarRect();
    painter.fillRect(bar, palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(bar.topRight(), bar.bottomRight());
    // The hot spot: a small arrow pointing the way a press will move the edge.
    const QRect spot = hotSpotRect();
    painter.fillRect(spot.adjusted(1, 0, -1, 0), palette().color(QPalette::Dark));
    const int middle = spot.center().y();
    const int tip = m_collapsed ? bar.right() - 1 : bar.left() + 1;
    const int base = m_collapsed ? bar.left() + 2 : bar.right() - 2;
    const QPoint arrow[] = {{base, middle - 3}, {tip, middle}, {base, middle + 3}};
    painter.setBrush(palette().color(QPalette::Light));
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(arrow, 3);
}

// The bar is told apart from the rest of the panel by where the press is;
// a press elsewhere on the panel does nothing.
void TRzSizePanel::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !sizeBarRect().contains(at)) {
        return;
    }
    if (hotSpotRect().contains(at)) {
        setCollapsed(!m_collapsed);
        return;
    }
    if (m_collapsed) {
        return;
    }
    m_dragging = true;
    m_dragStartX = int(event->globalPosition().x());
    m_dragStartWidth = width();
}

void TRzSizePanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) {
        setPanelWidth(m_dragStartWidth + int(event->globalPosition().x()) - m_dragStartX);
        return;
    }
    const QPoint at = event->position().toPoint();
    const bool resizable =
        !m_collapsed && sizeBarRect().contains(at) && !hotSpotRect().contains(at);
    setCursor(resizable ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TRzSizePanel::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
}

} // namespace zf::app
