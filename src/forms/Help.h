#pragma once

#include <QDialog>
#include <memory>

class QTextBrowser;
class QUrl;

namespace Ui {
class TFormHelp;
}

// 使用帮助: the program's help page, read from the resources, in a window
// of its own beside the main window. Modeless; at most one is open.
class TFormHelp : public QDialog
{
    Q_OBJECT

public:
    explicit TFormHelp(QWidget *parent = nullptr);
    ~TFormHelp() override;

    QTextBrowser *Browser() const;

private:
    // A link to a place in the page scrolls there; any other opens nothing.
    void LinkClicked(const QUrl &link);

    std::unique_ptr<Ui::TFormHelp> ui;
};

// Opens the help window over `owner`, or brings the open one forward.
void ShowHelp(QWidget *owner);
