// Dense complex matrices of tolerant reals: the unitaries of user gates.
#pragma once

#include <cstddef>
#include <vector>

#include "core/panic.h"
#include "core/qcomplex.h"

namespace tandrel {

/// A dense matrix of complex `Qreal` entries, stored column-major: entry (r, c) at index c * nrows + r.
struct DenseMatrix {
    size_t nrows = 0;
    size_t ncols = 0;
    std::vector<Qcomplex> entries;

    /// An nrows x ncols matrix of zeros.
    static DenseMatrix zeros(size_t nrows, size_t ncols) {
        return DenseMatrix{nrows, ncols, std::vector<Qcomplex>(nrows * ncols)};
    }

    /// Entry (r, c) without bounds checks; the caller keeps r < nrows and c < ncols.
    Qcomplex operator()(size_t r, size_t c) const { return entries[c * nrows + r]; }
    Qcomplex& operator()(size_t r, size_t c) { return entries[c * nrows + r]; }

    /// Entry (r, c); an index outside the matrix is an index-out-of-bounds failure.
    Qcomplex at(size_t r, size_t c) const {
        check_index(r, nrows);
        check_index(c, ncols);
        return (*this)(r, c);
    }

    /// The conjugate transpose: transposed, then every imaginary part negated (so an imaginary 0 becomes -0).
    DenseMatrix adjoint() const {
        DenseMatrix out = zeros(ncols, nrows);
        for (size_t c = 0; c < ncols; ++c)
            for (size_t r = 0; r < nrows; ++r) out(c, r) = (*this)(r, c).conj();
        return out;
    }

    /// Same shape and grid-equal entries.
    friend bool operator==(const DenseMatrix&, const DenseMatrix&) = default;
};

}  // namespace tandrel
