// SPDX-License-Identifier: MIT
#include "filechoosers.h"

namespace
{
FileChoosers &current()
{
    static FileChoosers choosers;
    return choosers;
}
} // namespace

FileChoosers FileChoosers::install(FileChoosers choosers)
{
    FileChoosers previous = current();
    current() = std::move(choosers);
    return previous;
}

QString FileChoosers::openFile(QWidget *parent, const QString &caption, const QString &dir,
                               const QString &filter)
{
    // Copied first, so a chooser that installs another one while it runs
    // does not destroy itself.
    const OpenFile chooser = current().getOpenFileName;
    if (chooser)
        return chooser(parent, caption, dir, filter);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString FileChoosers::existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                        QFileDialog::Options options)
{
    const ExistingDirectory chooser = current().getExistingDirectory;
    if (chooser)
        return chooser(parent, caption, dir, options);
    return QFileDialog::getExistingDirectory(parent, caption, dir, options);
}
