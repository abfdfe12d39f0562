// Private pieces of the main window: the sizing side panel, the application
// message hook, and the modal boxes the commands show.
#pragma once

#include <QObject>
#include <QWidget>

namespace zf::app {

class TFrmMain;

// A side panel with a 7 px size bar on its right edge. Dragging the bar
// changes the panel's width; a press on the hot spot in the middle of the bar
// collapses the panel to the bar alone and a second press restores it.
// Every width change is reported by resized().
class TRzSizePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSizeBarWidth = 7;
    static constexpr int kHotSpotHeight = 48;

    explicit TRzSizePanel(QWidget* parent = nullptr);

    void setContent(QWidget* content);
    int panelWidth() const { return width(); }
    void setPanelWidth(int width);
    bool isCollapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed);
    QRect sizeBarRect() const;
    QRect hotSpotRect() const;

signals:
    void resized();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* m_content = nullptr;
    bool m_collapsed = false;
    bool m_dragging = false;
    int m_restoreWidth = 0;
    int m_dragStartX = 0;
    int m_dragStartWidth = 0;
};

// The application-wide message hook: sees every event before it reaches its
// widget. Right press on the movie opens one of the two movie menus (and is
// consumed), mouse moves while maximised show or hide the overlay frame bar,
// and a left double click maximises or restores the window.
class MessageHook : public QObject {
    Q_OBJECT
public:
    // Installed on the application for as long as the hook lives.
    explicit MessageHook(TFrmMain& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool rightButtonDown();
    void mouseMove();
    void leftDoubleClick();

    TFrmMain& m_window;
};

} // namespace zf::app
