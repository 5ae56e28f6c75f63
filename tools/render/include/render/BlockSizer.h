#pragma once
// The sizes of the blocks a render asks the plug-in to process: one fixed
// size, a list repeated in turn, or sizes drawn from a seeded generator in a
// range (the same seed gives the same sizes on every machine), to exercise
// the plug-in's splitting of blocks.

#include <cstdint>
#include <vector>

namespace render {

class BlockSizer {
public:
    // All throw std::invalid_argument for sizes below 1 or an empty list or
    // range.
    static BlockSizer fixed(int size);
    static BlockSizer cycle(std::vector<int> sizes);
    static BlockSizer random(int minimum, int maximum, std::uint32_t seed);

    // The next block's size.
    int next();
    // The largest size next() can return: what effSetBlockSize announces.
    int largest() const;

private:
    BlockSizer() = default;

    std::vector<int> sizes_;
    std::size_t index_ = 0;
    bool random_ = false;
    int minimum_ = 0;
    int maximum_ = 0;
    std::uint64_t state_ = 0;
};

}  // namespace render
