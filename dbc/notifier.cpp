// SPDX-License-Identifier: MIT
#include "debuglog.h"
#include <quarvel/cdbc.h>

#include <QDebug>

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

// The debug lines logged so far go out first, so that they stay ahead of the
// note. Without a notifier the note is written as a warning.
void CDBC::notify(const QString &title, const QString &text)
{
    DebugLog::flush();
    const Notifier &notifier = currentNotifier();
    if (notifier)
        notifier(title, text);
    else
        qWarning().noquote() << title + QStringLiteral(": ") + text;
}
