#include "cdbc.h"

#include <QMessageBox>

namespace
{
CDBC::Notifier &currentNotifier()
{
    static CDBC::Notifier notifier;
    return notifier;
}
} // namespace

CDBC::Notifier CDBC::setNotifier(Notifier notifier)
{
    Notifier previous = currentNotifier();
    currentNotifier() = std::move(notifier);
    return previous;
}

void CDBC::notify(const QString &title, const QString &text)
{
    const Notifier &notifier = currentNotifier();
    if (notifier)
        notifier(title, text);
    else
        QMessageBox::about(nullptr, title, text);
}
