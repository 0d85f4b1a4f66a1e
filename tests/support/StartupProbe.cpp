// The program's entry sequence with a prompt that prints each box on standard
// output as "BOX|caption|text" and answers confirmations from PROBE_ANSWER
// ("yes" or "no"). With PROBE_CLOSE set, the main window is closed as soon as
// it shows, as the user would by its title bar; its caption is printed first.
// With PROBE_CANCEL set, every modal dialog is cancelled, its caption printed
// as "MODAL|caption".

#include "shell/Startup.h"

#include "data/UntPublic.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>

namespace {

class TPrintingPrompt : public TPrompt
{
public:
    bool Box(TBoxKind kind, const QString &caption, const QString &text) override
    {
        QString flat = text;
        flat.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
        std::printf("BOX|%s|%s\n", qUtf8Printable(caption), qUtf8Printable(flat));
        std::fflush(stdout);
        return kind == TBoxKind::Confirm && qgetenv("PROBE_ANSWER") == "yes";
    }
    QString FileDialog(TFileDialogKind, const QString &) override { return {}; }
    void OpenDocument(const QString &) override { }
};

void WatchMainWindow()
{
    // Only a start with windows has any to watch (--help and --version run
    // without them).
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    auto *timer = new QTimer(app);
    QObject::connect(timer, &QTimer::timeout, app, [] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (modal && qEnvironmentVariableIsSet("PROBE_CANCEL")) {
            std::printf("MODAL|%s\n", qUtf8Printable(modal->windowTitle()));
            std::fflush(stdout);
            modal->reject();
        }
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<QMainWindow *>(widget);
            if (!window || !window->isVisible() || window->property("probed").toBool())
                continue;
            window->setProperty("probed", true);
            std::printf("SHOWN|%s\n", qUtf8Printable(window->windowTitle()));
            std::fflush(stdout);
            if (qEnvironmentVariableIsSet("PROBE_CLOSE")) {
                window->close();
                if (window->isVisible())
                    std::printf("STILL OPEN\n");
                std::fflush(stdout);
            }
        }
    });
    timer->start(20);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchMainWindow)

int main(int argc, char *argv[])
{
    TPrintingPrompt prompt;
    return RunBookkeep(argc, argv, prompt);
}
