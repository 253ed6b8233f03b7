#pragma once
// Help Topics: the program's own guide, an HTML file installed with the program, in a window of
// its own that works without a network or a browser.

#include <QString>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

namespace zun {

class Prompt;

// Where the guide is looked for, in order: beside the program (the build tree), then under the
// installation prefix.
QStringList HelpIndexCandidates(const QString& programFolder);
// The first candidate that exists; empty when the guide is not installed.
QString FindHelpIndex(const QString& programFolder);

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the guide at `index` (an HTML file).
    explicit HelpWindow(const QString& index, QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

// The help window over the main window, opened at the guide's contents (one window; a second
// Help Topics brings it forward). Says through the prompt where it looked when the guide of the
// program in `programFolder` is missing.
HelpWindow* ShowHelpTopics(QWidget* mainWindow, const QString& programFolder, Prompt& prompt);

}  // namespace zun
