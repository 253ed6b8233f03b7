#pragma once
// The texts of one neighbour shell's interaction grid and of the one-row grids of the General
// pages, kept by the sheet presenters so that a sheet works the same with or without a window:
// the widgets show these texts and hand every finished cell edit back.

#include <string>
#include <vector>

#include "foundation/matrix.h"

namespace zun {

// True when the text scans as a real number with "%f" (the rule of every grid cell).
bool ScansAsReal(const std::string& text, float* value = nullptr);
// "%g" with six significant digits, the form every grid shows its values in.
std::string GridNumber(float value);

// A square grid over a symmetric matrix: the upper triangle and the diagonal are edited, each
// cell below the diagonal mirrors the one above it and cannot be edited.
class ShellGrid {
public:
    explicit ShellGrid(int n = 0) : n_(n), cells_(static_cast<std::size_t>(n) * n) {}
    int Size() const { return n_; }
    void Load(const Matrix<float>& m);
    const std::string& Text(int r, int c) const { return cells_[Index(r, c)]; }
    static bool ReadOnly(int r, int c) { return r > c; }
    // A finished cell edit: false (nothing changes) when the cell is read-only or the text is no
    // number; otherwise the cell keeps the text as typed and its mirror gets the same text.
    bool Edit(int r, int c, const std::string& text);
    // Every cell scanned back into the matrix (symmetric, since the texts are).
    void Save(Matrix<float>& m) const;

private:
    std::size_t Index(int r, int c) const { return static_cast<std::size_t>(r) * n_ + c; }
    int n_;
    std::vector<std::string> cells_;
};

// One row of numbers (weights, self energies) as texts.
class RowGrid {
public:
    void Load(const std::vector<float>& values);
    int Size() const { return static_cast<int>(cells_.size()); }
    const std::string& Text(int c) const { return cells_[static_cast<std::size_t>(c)]; }
    bool Edit(int c, const std::string& text);
    // Each cell scanned with "%f" (a text that does not scan leaves its value as it was).
    void Save(std::vector<float>& values) const;

private:
    std::vector<std::string> cells_;
};

}  // namespace zun
