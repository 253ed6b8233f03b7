#pragma once
// Surfer 6 binary grid (".grd", magic "DSBB") and VO two-dimensional array (".vod") slice files.
// The readers hand back nx * ny floats with x varying fastest; they show no messages.

#include <cstdio>
#include <string>
#include <vector>

namespace zun {

// Reader codes. Grid: 0, 1 cannot open, 2 no values output, 3 not a grid (wrong magic), 4 the
// file ends inside the header (or its sizes are not positive), 5 fewer values than nx * ny.
// VO: 0, 1, 4 no "." closing the header (or the file ends inside the wave header or the sizes,
// or the sizes are not positive), 5 no "<" or ">" around the type, 6 no "VO_DATATYPE = ARRAY2D"
// or an unknown (or overlong) type text, 7 unknown header type, 8 no "VO_FILETYPE = BIN",
// 9 no "NP = " number, 10 nx * ny differs from NP or the samples are fewer than NP,
// -1 memory exhausted.
// Import codes of Image2d<float>::ReadGrdVod: -1, 1-4 as read, 5 -> 20, 6 -> 21 ... 10 -> 25.

int CheckGrdMagic(std::FILE* file);
int ReadGrdHeader(std::FILE* file, int* nx, int* ny, double* xlo, double* xhi, double* ylo, double* yhi);
int ReadGrdFile(const std::string& path, std::vector<float>* values, int* nx = nullptr, int* ny = nullptr,
                double* xlo = nullptr, double* xhi = nullptr, double* ylo = nullptr, double* yhi = nullptr,
                float* minimum = nullptr, float* maximum = nullptr);

// 1 when the file looks like a binary VO array file (header complete, the required keys present),
// else 0.
int IsVodFile(const std::string& path);
int ReadVodFile(const std::string& path, int* nx, int* ny, std::vector<float>* values, double* h0 = nullptr,
                double* xlo = nullptr, double* xhi = nullptr, double* ylo = nullptr, double* yhi = nullptr,
                float* minimum = nullptr, float* maximum = nullptr);

// The import code of a reader code.
int GrdVodImportCode(int readerCode);

}  // namespace zun
