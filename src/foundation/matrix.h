#pragma once
// A small dense matrix stored row by row in one block; written into documents inside saved
// settings. It has no arithmetic: its users read and write elements directly.

#include <cstdint>
#include <vector>

#include "platform/archive.h"

namespace zun {

template <class T>
class Matrix;

template <>
class Matrix<float> : public Serializable {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    Matrix() = default;
    Matrix(const Matrix& other);
    Matrix& operator=(const Matrix& other);

    // New sizes; the values are not kept. Throws std::bad_alloc when memory is refused and
    // std::invalid_argument for negative sizes.
    void Resize(int rows, int cols);
    void Serialize(Archive& ar) override;

    int Rows() const { return rows; }
    int Cols() const { return cols; }
    float* operator[](int row) { return values.data() + static_cast<std::size_t>(row) * cols; }
    const float* operator[](int row) const { return values.data() + static_cast<std::size_t>(row) * cols; }
    float& operator()(int row, int col) { return (*this)[row][col]; }
    float operator()(int row, int col) const { return (*this)[row][col]; }
    // The block (null when the matrix has no values).
    const float* Data() const { return values.empty() ? nullptr : values.data(); }

private:
    int rows = 0;
    int cols = 0;
    std::vector<float> values;
};

}  // namespace zun
