#pragma once
// Row-vector 4x4 matrices: a vector is a row, and a * b applies a first, then b.

namespace base {

struct Matrix {
    float m[4][4]{};
    static Matrix identity();
    friend bool operator==(const Matrix&, const Matrix&) = default;
};

Matrix matrixMultiply(const Matrix& a, const Matrix& b);

}  // namespace base
