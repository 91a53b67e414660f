// The yardstick for the launch benchmark: the least a Qt program with the same
// window needs to do to put its first frame on the screen. It ends right after.

#include <QApplication>
#include <QImage>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <cstdlib>

namespace {

class Client final : public QWidget {
public:
    Client()
        : m_image(600, 380, QImage::Format_RGB888)
    {
        m_image.fill(Qt::black);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(600, 380);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        for (QRect const& exposed : event->region())
            painter.drawImage(exposed.topLeft(), m_image, exposed);
        // Queued, so the paint and the flush of the backing store finish first.
        QMetaObject::invokeMethod(this, [] { std::_Exit(0); }, Qt::QueuedConnection);
    }

private:
    QImage m_image;
};

void add_menu(QMenuBar* bar, char const* title, std::initializer_list<std::pair<char const*, char const*>> entries)
{
    QMenu* menu = bar->addMenu(QString::fromLatin1(title));
    for (auto const& [caption, shortcut] : entries) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        if (*shortcut)
            action->setShortcut(QKeySequence::fromString(QString::fromLatin1(shortcut), QKeySequence::PortableText));
    }
}

}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    QMenuBar* bar = window.menuBar();
    bar->setNativeMenuBar(false);
    add_menu(bar, "&File", { { "&Save", "Ctrl+S" }, { "&Print", "Ctrl+P" }, { "&Exit", "Ctrl+X" } });
    add_menu(bar, "&Colour",
        { { "&White", "F1" }, { "&Blue", "F2" }, { "&Cyan", "F3" }, { "&Green", "F4" }, { "&Yellow", "F5" },
            { "&Orange", "F6" }, { "&Red", "F7" }, { "&Purple", "F8" }, { "&None", "F9" } });
    add_menu(bar, "&Board", { { "&Clear", "" } });
    add_menu(bar, "&Help", { { "&How To", "Ctrl+H" }, { "&About", "Ctrl+A" } });
    window.setCentralWidget(new Client);
    window.show();
    return app.exec();
}
