#include "core/rng.h"

#include <sys/random.h>

#include <cerrno>

#include "core/panic.h"

namespace tandrel {

namespace {
uint64_t splitmix64(uint64_t& x) {
    uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}
}  // namespace

Rng Rng::from_os() {
    Rng r;
    auto* p = reinterpret_cast<char*>(r.s_);
    size_t got = 0;
    while (got < sizeof(r.s_)) {
        ssize_t n = getrandom(p + got, sizeof(r.s_) - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            panic("failed to read random seed from the operating system");
        }
        got += size_t(n);
    }
    if ((r.s_[0] | r.s_[1] | r.s_[2] | r.s_[3]) == 0) r.s_[0] = 1;  // the all-zero state is a fixed point
    return r;
}

Rng Rng::from_seed(uint64_t seed) {
    Rng r;
    for (auto& s : r.s_) s = splitmix64(seed);
    return r;
}

}  // namespace tandrel
