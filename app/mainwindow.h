#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "dbclimits.h"

#include <QMainWindow>

class CDBC;

namespace Ui {
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
    CDBC *dbcEngine = nullptr;
    bool dbcFileChosen = false;
    char dbcFilePath[DbcLimits::MaxPathBytes + 1] = {};
    bool outputDirChosen = false;
    char outputDirPath[DbcLimits::MaxPathBytes + 1] = {};
    Ui::MainWindow *ui;
};

#endif // MAINWINDOW_H
