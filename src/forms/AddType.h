#pragma once

#include "BaseDlg.h"

#include <QDateTime>
#include <memory>

namespace Ui {
class TFormAddType;
}

class QKeyEvent;

// Asks for the name of a new category and shows where it will be placed.
// In the name field Ctrl+D inserts today's date and Ctrl+T the date and time.
class TFormAddType : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormAddType(QWidget *parent = nullptr);
    ~TFormAddType() override;

    void SetPath(const QString &path);
    // The name exactly as typed.
    QString Name() const;

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void edtNameKeyDown(const QKeyEvent *event);

    std::unique_ptr<Ui::TFormAddType> ui;
};

// Shows the name dialog for a category placed at path. Returns the modal
// result; name is the text typed on OK and empty otherwise.
int ShowAddType(const QString &path, QString &name);
