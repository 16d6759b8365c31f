// SPDX-License-Identifier: MIT
#ifndef FILECHOOSERS_H
#define FILECHOOSERS_H

#include <QFileDialog>
#include <QString>

#include <functional>

class QWidget;

// How the window asks the user for a file and for a directory. The members
// take exactly the arguments of the QFileDialog functions of the same name;
// while one is empty (the default) that QFileDialog function itself is
// called. Replacing them lets the choosers be answered without a person.
struct FileChoosers {
    using OpenFile = std::function<QString(QWidget *parent, const QString &caption,
                                           const QString &dir, const QString &filter)>;
    using ExistingDirectory = std::function<QString(
        QWidget *parent, const QString &caption, const QString &dir, QFileDialog::Options options)>;

    OpenFile getOpenFileName;
    ExistingDirectory getExistingDirectory;

    // Installs `choosers` for the whole process and returns the previous set.
    static FileChoosers install(FileChoosers choosers);

    static QString openFile(QWidget *parent, const QString &caption, const QString &dir,
                            const QString &filter);
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                     QFileDialog::Options options);
};

#endif // FILECHOOSERS_H
