#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormConfig;
}

// The settings dialog: switches the login password on or off and changes it.
class TFormConfig : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormConfig(QWidget *parent = nullptr);
    ~TFormConfig() override;

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void chkPassClick();

    std::unique_ptr<Ui::TFormConfig> ui;
};

void ShowConfig();
