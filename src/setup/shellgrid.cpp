#include "setup/shellgrid.h"

#include "foundation/numformat.h"

namespace zun {

bool ScansAsReal(const std::string& text, float* value) {
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0) return false;
    if (value) *value = v;
    return true;
}

std::string GridNumber(float value) {
    return FormatReal(value, 6, "%g");
}

void ShellGrid::Load(const Matrix<float>& m) {
    for (int r = 0; r < n_; ++r)
        for (int c = 0; c < n_; ++c) cells_[Index(r, c)] = GridNumber(r <= c ? m(r, c) : m(c, r));
}

bool ShellGrid::Edit(int r, int c, const std::string& text) {
    if (r < 0 || c < 0 || r >= n_ || c >= n_ || ReadOnly(r, c) || !ScansAsReal(text)) return false;
    cells_[Index(r, c)] = text;
    cells_[Index(c, r)] = text;
    return true;
}

void ShellGrid::Save(Matrix<float>& m) const {
    for (int r = 0; r < n_ && r < m.Rows(); ++r)
        for (int c = 0; c < n_ && c < m.Cols(); ++c) ScansAsReal(cells_[Index(r, c)], &m(r, c));
}

void RowGrid::Load(const std::vector<float>& values) {
    cells_.clear();
    for (float v : values) cells_.push_back(GridNumber(v));
}

bool RowGrid::Edit(int c, const std::string& text) {
    if (c < 0 || c >= Size() || !ScansAsReal(text)) return false;
    cells_[static_cast<std::size_t>(c)] = text;
    return true;
}

void RowGrid::Save(std::vector<float>& values) const {
    for (std::size_t i = 0; i < cells_.size() && i < values.size(); ++i) ScansAsReal(cells_[i], &values[i]);
}

}  // namespace zun
