#pragma once

// The whole Qt host: one of each port, handed out to the runtime.

#include "qt_application.h"
#include "qt_clipboard.h"
#include "qt_printer.h"
#include "qt_save_dialog.h"
#include "qt_text.h"
#include "qt_windows.h"

namespace forms::qt {

class QtHost : public Host {
public:
    QtHost()
    {
        set_windows(&m_windows);
        set_text(&m_text);
        set_clipboard(&m_clipboard);
        set_save_dialog(&m_save_dialog);
        set_printers(&m_printer);
        set_application(&m_application);
    }
    QtHost(QtHost const&) = delete;
    QtHost& operator=(QtHost const&) = delete;

    QtWindows& qt_windows() { return m_windows; }
    QtText& qt_text() { return m_text; }
    QtClipboard& qt_clipboard() { return m_clipboard; }
    QtApplication& qt_application() { return m_application; }

private:
    QtWindows m_windows;
    QtText m_text;
    QtClipboard m_clipboard;
    QtSaveDialog m_save_dialog { m_windows };
    QtPrinter m_printer;
    QtApplication m_application;
};

}
