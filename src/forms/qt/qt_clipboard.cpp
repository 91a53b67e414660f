#include "qt_clipboard.h"

#include "qt_convert.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <utility>

namespace forms::qt {

namespace {

using HandOver = QtClipboard::HandOver;

// What we put on the clipboard. Qt asks it for its formats and data whenever
// another program asks the clipboard, so it can tell that someone did.
class Offer : public QMimeData {
public:
    explicit Offer(std::shared_ptr<HandOver> hand_over)
        : m_hand_over(std::move(hand_over))
    {
    }

    QStringList formats() const override
    {
        m_hand_over->requested = true;
        return QMimeData::formats();
    }

protected:
    QVariant retrieveData(QString const& type, QMetaType meta) const override
    {
        m_hand_over->requested = true;
        return QMimeData::retrieveData(type, meta);
    }

private:
    std::shared_ptr<HandOver> m_hand_over;
};

QClipboard& desktop()
{
    return *QGuiApplication::clipboard();
}

}

QtClipboard::~QtClipboard()
{
    QObject::disconnect(m_watch);
}

void QtClipboard::offer(QImage image)
{
    if (!m_watch)
        m_watch = QObject::connect(&desktop(), &QClipboard::changed, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard && !m_offering)
                on_changed();
        });

    // Even an empty clipboard is one we own: had we given it up, a manager
    // would put its last content back without asking us, and that would look
    // like another program's copy.
    auto* offer = new Offer(m_hand_over);
    if (!image.isNull())
        offer->setImageData(image);
    *m_hand_over = { std::move(image), HandOver::Holder::us, false };
    m_offering = true;
    desktop().setMimeData(offer, QClipboard::Clipboard);
    m_offering = false;
    m_offer = offer;
}

bool QtClipboard::owned() const
{
    return m_offer && desktop().mimeData(QClipboard::Clipboard) == m_offer;
}

// Another program has taken the clipboard. A manager taking over our offer
// asks for it first; a program that puts something of its own does not.
// After a manager, any change is someone's new content.
void QtClipboard::on_changed()
{
    using Holder = HandOver::Holder;
    if (m_hand_over->holder == Holder::someone_else || owned())
        return;
    if (m_hand_over->holder == Holder::us && m_hand_over->requested)
        m_hand_over->holder = Holder::manager;
    else
        *m_hand_over = {};
}

ErrorOr<void> QtClipboard::clipboard_clear()
{
    offer({});
    return {};
}

ErrorOr<void> QtClipboard::clipboard_set_image(Surface const& pixels)
{
    offer(copy_surface(pixels));
    if (owned())
        return {};
    // Taken at once: fine if the clipboard holds anything at all, as we keep
    // our own copy.
    QMimeData const* held = desktop().mimeData(QClipboard::Clipboard);
    if (!held || held->formats().isEmpty()) {
        *m_hand_over = {};
        return RuntimeError { errors::cant_open_clipboard, "Can't open Clipboard" };
    }
    m_hand_over->holder = HandOver::Holder::manager;
    return {};
}

ErrorOr<std::shared_ptr<Surface>> QtClipboard::clipboard_image()
{
    // A takeover not yet seen as an event is judged by the same rule.
    if (m_hand_over->holder == HandOver::Holder::us)
        on_changed();
    QImage const image = m_hand_over->holder == HandOver::Holder::someone_else
        ? desktop().image(QClipboard::Clipboard)
        : m_hand_over->image;
    if (image.isNull())
        return std::shared_ptr<Surface> {};
    return std::make_shared<Surface>(surface_from_image(image));
}

}
