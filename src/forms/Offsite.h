#pragma once

#include "BaseDlg.h"
#include "offsite/WebDav.h"

#include <functional>
#include <memory>

namespace Ui {
class TFormOffsite;
}

class QTreeWidget;

// Where the off-site copies go (the WebDAV server, its user and password, a
// folder, the passphrase they are sealed with), a test of the connection, and
// the copies on the server to restore from: on a new computer the user types
// the server in and fetches the books back from here.
class TFormOffsite : public TFormBaseDlg
{
    Q_OBJECT

public:
    // `restore` replaces the books with a fetched file: false when the user
    // chose not to, raising (the books untouched) when the file is refused.
    explicit TFormOffsite(std::function<bool(const QString &file)> restore,
                          QWidget *parent = nullptr);
    ~TFormOffsite() override;

    QTreeWidget *Copies() const;
    // Fills the list of the copies on the server; false, after saying why,
    // when the server cannot be read.
    bool ListCopies();

protected:
    void btnOKClick() override;

private:
    // The server as typed; a fault when it is not usable.
    Outcome Place(TWebDavPlace &place) const;
    void btnTestClick();
    void btnRestoreClick();
    // The books were replaced by the copy: the window's work is done.
    void FetchAndRestore(const TWebDavPlace &place, const QString &name, const QString &passphrase);

    std::unique_ptr<Ui::TFormOffsite> ui;
    std::function<bool(const QString &file)> FRestore;
};

// Shows the window; `restore` as for the window.
void ShowOffsite(const std::function<bool(const QString &file)> &restore);
