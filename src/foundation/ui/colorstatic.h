#pragma once
// Small controls: a label with its own text and background colours (the colour swatches of the
// display dialogs) and the notes' text edit that imports a text file dropped on it. Colours are
// stored as 0x00BBGGRR.

#include <cstdint>
#include <functional>
#include <string>

#include <QColor>
#include <QLabel>
#include <QPlainTextEdit>

class QMimeData;

namespace zun {

inline constexpr std::uint32_t kSystemFaceColour = 0xFFFFFFFF;

QColor ColorFromRef(std::uint32_t colour);
std::uint32_t RefFromColor(const QColor& colour);

class ColorStatic : public QLabel {
    Q_OBJECT
public:
    explicit ColorStatic(QWidget* parent = nullptr);
    // kSystemFaceColour: the window's button-face colour.
    void SetBkColour(std::uint32_t colour);
    void SetTextColour(std::uint32_t colour);
    QColor BackgroundColour() const { return background_; }

protected:
    void changeEvent(QEvent* e) override;

private:
    void Apply();
    std::uint32_t bk_ = kSystemFaceColour;
    std::uint32_t text_ = kSystemFaceColour;
    QColor background_;
};

class EditDrop : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit EditDrop(QWidget* parent = nullptr);
    // Imports the dropped file; 0 when it was taken.
    std::function<int(const std::string& path)> importText;
    // What a drop of the data does: the first local file is imported; true when it was taken.
    bool ImportDropped(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};

}  // namespace zun
