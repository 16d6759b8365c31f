// SPDX-License-Identifier: MIT
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "filechoosers.h"
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QDir>
#include <QIcon>

#include <cstring>

namespace
{
const char *const ErrorTitle = "Erroe";
const char *const DbcNotOpened = "打开文件失败，请检查文件！";
const char *const DirNotOpened = "打开文件路径失败，请重新打开！";
const char *const PathTooLong = "文件路径和名称太长，超出200byte！";
const char *const ChoiceMissing = "请确认已经选择文件、路径！";

// The window's notes go through the engine's seam, so whatever shows the
// engine's notes shows these too.
void showError(const char *text)
{
    CDBC::notify(QString::fromUtf8(ErrorTitle), QString::fromUtf8(text));
}
} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    // Quarvel's icon in the title bar and the taskbar, drawn at each size
    // they ask for (app/CMakeLists.txt). The window's own, not the
    // application's: a note's box shows the application's icon as its
    // picture, and the notes keep their look.
    Q_INIT_RESOURCE(quarvel_icons);
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/quarvel-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
}

MainWindow::~MainWindow()
{
    delete dbcEngine;
    delete ui;
}

void MainWindow::acceptPath(const QString &path, const QString &emptyText, bool &chosen,
                            char *buffer, QTextEdit *field)
{
    if (path.isEmpty()) {
        chosen = false;
        CDBC::notify(QString::fromUtf8(ErrorTitle), emptyText);
        return;
    }
    field->setText(path);
    const QByteArray bytes = path.toUtf8();
    if (bytes.size() > DbcLimits::MaxPathBytes) {
        chosen = false;
        showError(PathTooLong);
        return;
    }
    chosen = true;
    std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    buffer[bytes.size()] = '\0';
    update();
}

void MainWindow::on_Btn_DBC_Select_clicked()
{
    const QString path =
        FileChoosers::openFile(this, QString(), QString(), QString::fromUtf8("DBC文件(*.dbc)"));
    acceptPath(path, QString::fromUtf8(DbcNotOpened), dbcFileChosen, dbcFilePath, ui->textEdit_dbc);
}

void MainWindow::on_Rbt_FileDir_Select_clicked()
{
    const QString dir = FileChoosers::existingDirectory(this, tr("test"), QDir::currentPath(),
                                                        QFileDialog::ShowDirsOnly);
    acceptPath(QDir::toNativeSeparators(dir), QString::fromUtf8(DirNotOpened), outputDirChosen,
               outputDirPath, ui->textEdit_S_File);
}

void MainWindow::on_Btn_Creat_File_clicked()
{
    if (!dbcFileChosen || !outputDirChosen) {
        showError(ChoiceMissing);
        return;
    }
    const QString dbcPath = QString::fromUtf8(dbcFilePath);
    const QString outputDir = QString::fromUtf8(outputDirPath);

    // Nothing uses an earlier engine again, so it goes as soon as it is replaced.
    CDBC *previous = dbcEngine;
    dbcEngine = new CDBC();
    delete previous;
    dbcEngine->transDbc(dbcPath, outputDir);
}
