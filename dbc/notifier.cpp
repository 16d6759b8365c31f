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
void CDBC::notify(const QString &title, const QString &text, const QString &details)
{
    DebugLog::flush();
    // Copied first, so a notifier that installs another one while it runs
    // does not destroy itself.
    const Notifier notifier = currentNotifier();
    if (notifier) {
        notifier(title, text, details);
    } else {
        qWarning().noquote() << title + QStringLiteral(": ") + text;
        if (!details.isEmpty())
            qWarning().noquote() << details;
    }
}

void CDBC::setDebugLines(bool on)
{
    DebugLog::setEngineLines(on);
}

bool CDBC::debugLines()
{
    return DebugLog::engineLines();
}
