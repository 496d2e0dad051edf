#include "app/kit/tool_windows.h"

#include "app/kit/state_binder.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

namespace {

// The free area of the screen that shows `window` (or the primary screen).
QRect FreeArea(const QWidget& window)
{
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QSize FrameExtra(const QWidget& window)
{
    if (FrameKnown(window)) return window.frameGeometry().size() - window.size();
    const int border =
        window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &window);
    const int title =
        std::max(window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window),
                 2 * window.fontMetrics().height());
    return {2 * border, title + 2 * border};
}

bool FrameKnown(const QWidget& window)
{
    return FrameHoldsClient(window.frameGeometry(), window.geometry());
}

bool FrameHoldsClient(const QRect& frame, const QRect& client)
{
    // Margins read while the window manager is still taking the window over
    // may be negative.
    return frame != client && frame.contains(client);
}

Placing PlacingFor(bool frameKnown, bool shown, bool exposed)
{
    if (frameKnown) return Placing::Now;
    // Shown but not yet mapped (a window manager maps a window once it has
    // framed it): a place put now and again when framed would leave two
    // requests in flight, and the window manager may end on the first.
    if (shown && !exposed) return Placing::WhenExposed;
    return Placing::NowAndWhenFramed;
}

namespace {

// Moves the window's frame into the free area of its screen.
void KeepOnScreen(QWidget& window)
{
    const QRect area = FreeArea(window);
    if (area.isEmpty()) return;
    const QSize frame = window.size() + FrameExtra(window);
    const QPoint at = window.frameGeometry().topLeft();
    const int x =
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
    const int y =
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
    if (QPoint(x, y) != at) window.move(x, y);
}

class NearMainOnShow : public QObject {
public:
    NearMainOnShow(QWidget& window, const QWidget& main)
        : QObject(&window), window_(window), main_(main)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Show) {
            if (!window_.testAttribute(Qt::WA_Moved)) {
                const QPoint client = main_.geometry().topLeft();
                window_.move(client + QPoint(24, 24));
            }
            KeepOnScreen(window_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget& window_;
    const QWidget& main_;
};

class FitOnShow : public QObject {
public:
    FitOnShow(QWidget& window, QScrollArea& body) : QObject(&window), window_(window), body_(body)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Show) Fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void Fit()
    {
        QWidget* content = body_.widget();
        if (!content) return;
        // The hints of layouts not laid out yet may be stale.
        if (content->layout()) content->layout()->activate();
        if (window_.layout()) window_.layout()->activate();
        // The whole content: the window's own hint with the scroll area's
        // share replaced by what the content needs (its hint may be below
        // its least size).
        const int edge = 2 * body_.frameWidth();
        const QSize hint = window_.sizeHint(), area = body_.sizeHint(),
                    wanted = content->sizeHint().expandedTo(content->minimumSizeHint());
        QSize whole(std::max(hint.width(), hint.width() - area.width() + wanted.width() + edge),
                    hint.height() - area.height() + wanted.height() + edge);
        // A window placed before (by the user or the settings file) keeps its size if it fits.
        QSize size = window_.testAttribute(Qt::WA_Resized) ? window_.size() : whole;
        const QRect free = FreeArea(window_);
        if (!free.isEmpty()) {
            const QSize room = free.size() - FrameExtra(window_);
            if (size.height() > room.height())
                size.setWidth(size.width() +
                              window_.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
            size = size.boundedTo(room);
        }
        window_.resize(size);
        if (!window_.testAttribute(Qt::WA_Moved) && window_.parentWidget()) {
            // Centred over the window it belongs to, as a dialog opens.
            const QRect over = window_.parentWidget()->window()->frameGeometry();
            const QSize frame = size + FrameExtra(window_);
            window_.move(over.center() - QPoint(frame.width() / 2, frame.height() / 2));
        }
        KeepOnScreen(window_);
    }

    QWidget& window_;
    QScrollArea& body_;
};

}  // namespace

QMenu* ToolsMenu(QMainWindow& main)
{
    for (QAction* entry : main.menuBar()->actions())
        if (entry->menu() && entry->text().remove('&') == "Tools") return entry->menu();
    QMenu* tools = main.menuBar()->addMenu("&Tools");
    tools->setObjectName("Tools1");
    return tools;
}

QAction* AddWindowEntry(QWidget& menu, const QString& caption, const char* name, QWidget* window,
                        std::function<void()> open)
{
    QAction* entry = menu.addAction(caption);
    entry->setObjectName(name);
    if (!open)
        open = [window] {
            window->show();
            window->raise();
        };
    ConnectGuarded(entry, &QAction::triggered, window, std::move(open));
    return entry;
}

void PlaceAtTopRight(QWidget& window)
{
    window.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.right() - window.frameGeometry().width() + 1, area.top());
    }
}

void OpenNearMainWindow(QWidget& window, const QWidget& main)
{
    new NearMainOnShow(window, main);
}

QScrollArea* ScrollingBody(QWidget& window, QLayout* content)
{
    auto* inner = new QWidget;
    inner->setObjectName("plBody");
    inner->setLayout(content);
    auto* scroll = new QScrollArea(&window);
    scroll->setObjectName("sbBody");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(inner);
    new FitOnShow(window, *scroll);
    return scroll;
}
