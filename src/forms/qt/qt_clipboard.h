#pragma once

// The clipboard port on Qt: the desktop's own clipboard (the X selection
// CLIPBOARD), holding a bitmap as an image. It offers nothing but images.
//
// A clipboard manager takes over what we put there (it becomes the owner and
// serves its own copy, maybe converted, maybe only as text, maybe late), so
// the desktop's clipboard may no longer give back the image we set although
// nobody has put anything new there. The port keeps its own copy of the image
// it set and gives that back until another program has put something of its
// own on the clipboard.

#include "forms/host.h"

#include <QImage>
#include <QMetaObject>
#include <QPointer>

#include <memory>

class QMimeData;

namespace forms::qt {

class QtClipboard : public ClipboardPort {
public:
    QtClipboard() = default;
    QtClipboard(QtClipboard const&) = delete;
    QtClipboard& operator=(QtClipboard const&) = delete;
    ~QtClipboard() override;

    ErrorOr<void> clipboard_clear() override;
    ErrorOr<void> clipboard_set_image(Surface const& pixels) override;
    ErrorOr<std::shared_ptr<Surface>> clipboard_image() override;

    // Shared with the offers on the clipboard, which Qt may outlive us with.
    struct HandOver {
        enum class Holder { us, manager, someone_else };
        // What we last put on the clipboard: the empty image after a clear.
        QImage image;
        Holder holder { Holder::someone_else };
        // Another program asked for our offer since we put it there.
        bool requested { false };
    };

private:
    void offer(QImage image);
    void on_changed();
    bool owned() const;

    std::shared_ptr<HandOver> m_hand_over { std::make_shared<HandOver>() };
    QPointer<QMimeData> m_offer;
    QMetaObject::Connection m_watch;
    bool m_offering { false };
};

}
