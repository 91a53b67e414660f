#include "qt_application.h"

#include "forms/runtime.h"
#include "qt_convert.h"
#include "qt_host.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <optional>

namespace forms::qt {

void QtApplication::message_box(std::string_view caption, std::string_view text)
{
    QMessageBox box(QMessageBox::Critical, to_qstring(caption), to_qstring(text), QMessageBox::Ok,
        QApplication::activeWindow());
    // Tied to the window the user was working in, so that it opens above it.
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void QtApplication::quit(int status)
{
    m_quit_status = status;
    // Ends every running loop, nested ones (a modal dialog) included; a loop
    // started afterwards returns at once, so nothing can hold the end up.
    QCoreApplication::exit(status);
}

int run_application(int argc, char** argv, std::function<void()> start)
{
    // The surface is shown pixel for pixel: no scaling, whatever the screen.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_SCALE_FACTOR", "1");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");

    // The argument count must outlive the application object.
    static int app_argc;
    app_argc = argc;
    std::optional<QApplication> own_app;
    if (!QCoreApplication::instance())
        own_app.emplace(app_argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvane"));
    // The runtime ends the program when its last form is unloaded, not Qt.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    Runtime& runtime = Runtime::the();
    int status = 0;
    {
        QtHost host;
        runtime.set_host(&host);
        start();
        if (host.qt_application().quit_status())
            status = *host.qt_application().quit_status();
        else if (runtime.finished())
            status = runtime.exit_status();
        else
            status = QApplication::exec();
        if (host.qt_application().quit_status())
            status = *host.qt_application().quit_status();
        // Windows let go during the last event are still waiting to be deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        runtime.set_host(nullptr);
    }
    if (runtime.finished())
        status = runtime.exit_status();
    return status;
}

}
