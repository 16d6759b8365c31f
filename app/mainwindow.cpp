#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cdbc.h"

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_Btn_DBC_Select_clicked() {}

void MainWindow::on_Rbt_FileDir_Select_clicked() {}

void MainWindow::on_Btn_Creat_File_clicked() {}
