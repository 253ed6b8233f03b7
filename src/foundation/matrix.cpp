#include "foundation/matrix.h"

#include <algorithm>
#include <stdexcept>

namespace zun {

const ClassInfo Matrix<float>::classInfo{"Matrixfloat", 0, true, &MakeSerializable<Matrix<float>>,
                                         &Serializable::classSerializable};

Matrix<float>::Matrix(const Matrix& other) : Serializable() {
    Resize(other.rows, other.cols);
    values = other.values;
}

Matrix<float>& Matrix<float>::operator=(const Matrix& other) {
    if (&other == this) return *this;
    if (rows != other.rows || cols != other.cols) Resize(other.rows, other.cols);
    std::copy(other.values.begin(), other.values.end(), values.begin());
    return *this;
}

void Matrix<float>::Resize(int r, int c) {
    if (r < 0 || c < 0) throw std::invalid_argument("negative matrix size");
    std::vector<float>().swap(values);
    rows = r;
    cols = c;
    if (r != 0) values.resize(static_cast<std::size_t>(r) * static_cast<std::size_t>(c));
}

void Matrix<float>::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(rows) << static_cast<std::int32_t>(cols);
        if (!values.empty()) ar.Write(values.data(), values.size() * sizeof(float));
        return;
    }
    std::int32_t r = 0, c = 0;
    ar >> r >> c;
    if (r < 0 || c < 0) throw ArchiveException(ArchiveException::generic, "negative matrix size in archive");
    // Read in pieces so that a damaged size meets the end of the data before it takes memory.
    const std::size_t total = static_cast<std::size_t>(r) * static_cast<std::size_t>(c);
    std::vector<float> v;
    constexpr std::size_t kPiece = 1 << 20;
    while (v.size() < total) {
        const std::size_t at = v.size();
        const std::size_t k = std::min(kPiece, total - at);
        v.resize(at + k);
        ar.Read(v.data() + at, k * sizeof(float));
    }
    Resize(r, c);
    values = std::move(v);
}

}  // namespace zun
