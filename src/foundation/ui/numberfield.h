#pragma once
// Number fields: line edits that hold a real number or an integer keep room for a whole value of
// their kind, however narrow the dialog around them is laid out. A field that held less scrolled
// its text under the user's eyes: "3.27675" typed into a four-character field showed as "675".
// The width follows the field's font, also when the font or style changes after it was made.

#include <cstdint>

#include <QString>

class QLineEdit;
class QWidget;

namespace zun {

// The widest real a field shows whole: six significant digits in exponent form.
inline constexpr const char* kRealFieldSample = "3.27675e-05";

// The largest count or offset of voxels or pixels along one axis a field shows whole: no scan
// reaches 100000 along an axis.
inline constexpr std::int64_t kAxisCountMax = 99999;

// Makes `field` a field of real numbers; returns it.
QLineEdit* RealField(QLineEdit* field);
// Makes `field` a field of integers from `low` to `high`; returns it.
QLineEdit* IntegerField(QLineEdit* field, std::int64_t low, std::int64_t high);
// The widest value of the field's kind ("" for a field made by neither of the above).
QString NumberFieldSample(const QWidget* field);
// The width of `field` whose text area holds `text` whole, with its frame and margins.
int LineEditWidthFor(const QLineEdit* field, const QString& text);

}  // namespace zun
