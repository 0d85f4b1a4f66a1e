#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class TFormMain;
}

// The main window.
class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::TFormMain> ui;
};
