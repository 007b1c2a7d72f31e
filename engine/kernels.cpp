#include "kernels.h"

#include <cmath>

#include "kernels_inline.h"

namespace fernwise {

Complex complexPower(double x, double y, std::int32_t n) {
    Complex result = (n & 1) ? Complex{x, y} : Complex{1.0, 0.0};
    Complex base{x, y};
    n >>= 1;
    while (n != 0) {
        base = complexMultiply(base.re, base.im, base.re, base.im);
        if (n & 1) result = complexMultiply(result.re, result.im, base.re, base.im);
        n >>= 1;
    }
    return result;
}

void invertPoint(double& x, double& y, double radius) {
    if (x == 0.0 && y == 0.0) return;
    double r = std::sqrt(x * x + y * y);
    if (r == 0.0) r = 1e-12;
    double theta = std::acos(x / r);
    if (y < 0.0) theta = 6.283185307179586 - theta;
    double k = radius * radius / r;
    x = k * std::cos(theta);
    y = k * std::sin(theta);
}

std::int32_t tileEscapeCount(const KernelState& state, double u, double v) {
    return kernels::tileEscape(state.params, u, v);
}

std::int32_t iteratePoint(KernelState& s, double& x, double& y, std::int32_t column, std::int32_t row) {
    return kernels::iterateInline(s, x, y, column, row);
}

}  // namespace fernwise
