// SPDX-License-Identifier: MIT
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <quarvel/dbclimits.h>

#include <QMainWindow>

class CDBC;
class QTextEdit;

namespace Ui
{
class MainWindow;
}

// The one window: a DBC file field, an output directory field, a browse
// button for each and the button that generates "dbc_2_struct.h".
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_Btn_DBC_Select_clicked();
    void on_Rbt_FileDir_Select_clicked();
    void on_Btn_Creat_File_clicked();

private:
    // Shared by both choosers: checks `path` and stores it in `chosen` and
    // `buffer`, echoing it in `field`; `emptyText` is the note for a cancel.
    void acceptPath(const QString &path, const QString &emptyText, bool &chosen, char *buffer,
                    QTextEdit *field);

    // The engine of the latest generation; owned, replaced by the next one.
    CDBC *dbcEngine = nullptr;
    bool dbcFileChosen = false;
    char dbcFilePath[DbcLimits::MaxPathBytes + 1] = {};
    bool outputDirChosen = false;
    char outputDirPath[DbcLimits::MaxPathBytes + 1] = {};
    Ui::MainWindow *ui;

    friend class tst_MainWindow;
};

#endif // MAINWINDOW_H
