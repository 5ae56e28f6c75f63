#include "render/BlockSizer.h"

#include <algorithm>
#include <stdexcept>

namespace render {

BlockSizer BlockSizer::fixed(int size) {
    return cycle({size});
}

BlockSizer BlockSizer::cycle(std::vector<int> sizes) {
    if (sizes.empty())
        throw std::invalid_argument("no block sizes given");
    for (int s : sizes) {
        if (s < 1)
            throw std::invalid_argument("block sizes must be at least 1");
    }
    BlockSizer b;
    b.sizes_ = std::move(sizes);
    return b;
}

BlockSizer BlockSizer::random(int minimum, int maximum, std::uint32_t seed) {
    if (minimum < 1 || maximum < minimum)
        throw std::invalid_argument("random block sizes need 1 <= minimum <= maximum");
    BlockSizer b;
    b.random_ = true;
    b.minimum_ = minimum;
    b.maximum_ = maximum;
    b.state_ = seed;
    return b;
}

int BlockSizer::next() {
    if (!random_) {
        const int size = sizes_[index_];
        index_ = (index_ + 1) % sizes_.size();
        return size;
    }
    // splitmix64: our own generator, because the standard distributions are
    // free to differ between libraries and a seed must mean the same render.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const std::uint64_t span = static_cast<std::uint64_t>(maximum_ - minimum_) + 1;
    return minimum_ + static_cast<int>(z % span);
}

int BlockSizer::largest() const {
    return random_ ? maximum_ : *std::max_element(sizes_.begin(), sizes_.end());
}

}  // namespace render
