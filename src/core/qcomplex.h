// A complex number of tolerant reals: the amplitude and matrix-entry type.
#pragma once

#include "core/qreal.h"

namespace tandrel {

/// Complex value with `Qreal` parts; equality is part-wise grid equality.
struct Qcomplex {
    Qreal re;
    Qreal im;

    friend bool operator==(Qcomplex a, Qcomplex b) { return a.re == b.re && a.im == b.im; }
    friend Qcomplex operator*(Qcomplex a, Qcomplex b) {
        return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
    }
    friend Qcomplex operator+(Qcomplex a, Qcomplex b) { return {a.re + b.re, a.im + b.im}; }
    Qcomplex conj() const { return {re, -im}; }
};

}  // namespace tandrel
