// Linked into the launch benchmark's build of the program only: ends the
// process as soon as the client area's first frame is out.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cstdlib>

namespace {

class ExitAfterFirstFrame final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen && watched->objectName() == QLatin1String("client")) {
            m_seen = true;
            // Queued, so the paint and the flush of the backing store finish first.
            QMetaObject::invokeMethod(this, [] { std::_Exit(0); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_seen { false };
};

void install()
{
    QCoreApplication::instance()->installEventFilter(new ExitAfterFirstFrame(QCoreApplication::instance()));
}

}

Q_COREAPP_STARTUP_FUNCTION(install)
