#include "qt_application.h"

#include "forms/runtime.h"
#include "qt_convert.h"
#include "qt_host.h"
#include "qt_startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMessageLogger>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

namespace forms::qt {

namespace {

std::optional<std::string> refusal;

void say(std::string const& reason)
{
    std::fputs(startup_line(reason).c_str(), stderr);
}

// While the application object is made, the toolkit's messages are held back:
// when it finds no platform it can start, it writes several lines and aborts,
// and the user gets one line and status 1 instead. Once it has started, what
// was held is written as usual.
class HeldMessages {
public:
    HeldMessages()
    {
        s_held = this;
        m_previous = qInstallMessageHandler(&HeldMessages::hold);
    }
    ~HeldMessages()
    {
        qInstallMessageHandler(m_previous);
        s_held = nullptr;
        for (auto const& message : m_messages) {
            QMessageLogger logger(nullptr, 0, nullptr, message.category.c_str());
            QByteArray const text = message.text.toLocal8Bit();
            switch (message.type) {
            case QtDebugMsg:
                logger.debug("%s", text.constData());
                break;
            case QtInfoMsg:
                logger.info("%s", text.constData());
                break;
            case QtCriticalMsg:
                logger.critical("%s", text.constData());
                break;
            default:
                logger.warning("%s", text.constData());
                break;
            }
        }
    }
    HeldMessages(HeldMessages const&) = delete;
    HeldMessages& operator=(HeldMessages const&) = delete;

private:
    struct Message {
        QtMsgType type;
        std::string category;
        QString text;
    };

    static void hold(QtMsgType type, QMessageLogContext const& context, QString const& text)
    {
        HeldMessages& self = *s_held;
        std::lock_guard lock(self.m_mutex);
        if (type == QtFatalMsg) {
            std::vector<std::string> texts;
            for (auto const& message : self.m_messages)
                texts.push_back(message.text.toStdString());
            say(platform_failure(texts, text.toStdString()));
            // The toolkit would abort next; nothing has been made yet that needs an end.
            std::_Exit(1);
        }
        self.m_messages.push_back({ type, context.category ? context.category : "", text });
    }

    static inline HeldMessages* s_held { nullptr };
    QtMessageHandler m_previous { nullptr };
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

// Ports that do nothing, for the static destructors at exit.
class InertHost final : public Host {
public:
    InertHost()
    {
        set_windows(&m_windows);
        set_text(&m_text);
        set_clipboard(&m_clipboard);
        set_save_dialog(&m_save_dialog);
        set_printers(&m_printers);
        set_application(&m_application);
    }

private:
    WindowPort m_windows;
    TextPort m_text;
    ClipboardPort m_clipboard;
    SaveDialogPort m_save_dialog;
    PrinterPort m_printers;
    ApplicationPort m_application;
};

// The toolkit ends the process with exit(1) from inside the event loop when
// its display goes away (the X server killed, or its connection killed). The
// windows' global instances are destroyed after that, and their forms would
// hand their windows back to a toolkit half torn down: they find ports that
// do nothing instead, made then and never freed, so that no static destructor
// can have run before them. Registered after those instances were made, so it
// runs before their destructors.
void let_go_of_host_at_exit()
{
    static bool const registered = [] {
        std::atexit([] { Runtime::the().set_host(new InertHost); });
        return true;
    }();
    (void)registered;
}

// The toolkit paints nothing on an X display of fewer than 15 bits a pixel:
// it has no image format for palette (8-bit) visuals.
std::optional<std::string> undrawable_display(std::string const& display)
{
    QScreen const* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return "the platform \"" + QGuiApplication::platformName().toStdString() + "\" has no screen";
    if (QGuiApplication::platformName() != QLatin1String("xcb") || screen->depth() >= 15)
        return std::nullopt;
    std::string const depth = std::to_string(screen->depth());
    return "the X display " + display + " has " + depth + "-bit colour, which this program cannot draw on; use 16-bit colour or more";
}

}

void refuse_start(std::string reason)
{
    refusal = std::move(reason);
}

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
    std::vector<std::string> const arguments(argv, argv + argc);
    auto const environment = [](char const* name) -> char const* { return std::getenv(name); };
    std::optional<QApplication> own_app;
    if (!QCoreApplication::instance()) {
        if (auto problem = unreachable_display(arguments, environment)) {
            say(*problem);
            return 1;
        }
        {
            HeldMessages held;
            own_app.emplace(app_argc, argv);
        }
        release_display_check();
    }
    if (auto problem = undrawable_display(x_display_name(arguments, environment))) {
        say(*problem);
        return 1;
    }
    QApplication::setApplicationName(QStringLiteral("zorvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvane"));
    // The runtime ends the program when its last form is unloaded, not Qt.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    Runtime& runtime = Runtime::the();
    int status = 0;
    {
        QtHost host;
        if (!host.qt_text().font_loaded()) {
            say("the font file " + std::string(text_font_file) + " cannot be loaded; install fonts-dejavu-core");
            return 1;
        }
        runtime.set_host(&host);
        let_go_of_host_at_exit();
        refusal.reset();
        start();
        if (refusal) {
            say(*refusal);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            runtime.set_host(nullptr);
            return 1;
        }
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
