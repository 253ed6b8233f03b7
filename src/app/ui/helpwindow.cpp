#include "app/ui/helpwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "platform/prompt.h"

namespace zun {

QStringList HelpIndexCandidates(const QString& programFolder) {
    return {QDir::cleanPath(programFolder + "/help/index.html"),
            QDir::cleanPath(programFolder + "/../share/zun/help/index.html")};
}

QString FindHelpIndex(const QString& programFolder) {
    for (const QString& c : HelpIndexCandidates(programFolder))
        if (QFileInfo(c).isFile()) return c;
    return {};
}

HelpWindow::HelpWindow(const QString& index, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("helpWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Zun Help");
    browser_ = new QTextBrowser(this);
    // Links to the web go to the user's browser; the guide's own pages open here.
    browser_->setOpenExternalLinks(true);
    browser_->setSource(QUrl::fromLocalFile(index));
    auto* contents = new QPushButton("&Contents", this);
    auto* back = new QPushButton("&Back", this);
    auto* close = new QPushButton("Close", this);
    back->setEnabled(false);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);
    resize(820, 640);
}

HelpWindow* ShowHelpTopics(QWidget* mainWindow, const QString& programFolder, Prompt& prompt) {
    if (mainWindow)
        if (auto* open = mainWindow->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    const QString index = FindHelpIndex(programFolder);
    if (index.isEmpty()) {
        prompt.Tell("The help files are not installed. Looked for:\n" +
                        HelpIndexCandidates(programFolder).join("\n").toStdString(),
                    PromptIcon::Warning);
        return nullptr;
    }
    auto* window = new HelpWindow(index, mainWindow);
    CenterWindowInMainFrame(window, 0, 0);
    window->activateWindow();
    return window;
}

}  // namespace zun
