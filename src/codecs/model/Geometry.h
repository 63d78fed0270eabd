#pragma once

namespace lumara {

// A rectangle as Left, Top, Right, Bottom (right and bottom exclusive unless a
// caller says otherwise).
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

// Windows' MulDiv: a * b / c computed in 64 bits, rounded half away from zero;
// -1 when c is 0 or the result does not fit an int.
inline int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    long long num = static_cast<long long>(a) * b;
    const bool neg = (num < 0) != (c < 0);
    unsigned long long n = num < 0 ? -num : num;
    unsigned long long d = c < 0 ? -static_cast<long long>(c) : c;
    const long long q = static_cast<long long>((n + d / 2) / d);
    const long long r = neg ? -q : q;
    if (r > 2147483647LL || r < -2147483648LL) return -1;
    return static_cast<int>(r);
}

} // namespace lumara
