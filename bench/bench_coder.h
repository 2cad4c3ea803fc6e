// The block coders that vraxbench measures: the VRAX configurations and the peer libraries behind
// one interface, each with its own block size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vrax::bench {

// Compresses and decompresses independent blocks (or, for VRAX1-A, blocks in order through one
// working memory). A coder reports failure by returning false, with a one-line reason in
// `message`.
class BlockCoder {
public:
    virtual ~BlockCoder() = default;

    virtual const std::string& name() const = 0;
    virtual std::uint32_t block_size() const = 0;
    virtual bool is_vrax() const { return false; }

    // Bytes that the caller owns at the destination of compress() for a block of in_size bytes,
    // and at the destination of decompress().
    virtual std::size_t compress_capacity(std::uint32_t in_size) const = 0;
    virtual std::size_t decompress_capacity() const = 0;

    // Called before each pass over an input, in either direction: state that the coder keeps
    // from block to block starts afresh, as in a new run of a program.
    virtual void start_pass() {}

    virtual bool compress(const std::uint8_t* in, std::uint32_t in_size, std::uint8_t* out,
                          std::size_t out_cap, std::size_t* out_size) = 0;
    // `expected` is the block's original size, which some peers need and VRAX codecs ignore.
    virtual bool decompress(const std::uint8_t* in, std::size_t in_size, std::uint8_t* out,
                            std::size_t out_cap, std::uint32_t expected, std::size_t* out_size) = 0;

    std::string message;
};

// Every configuration built into this vraxbench, VRAX codecs first, then the peers.
std::vector<std::unique_ptr<BlockCoder>> vrax_coders();
std::vector<std::unique_ptr<BlockCoder>> peer_coders();

// Library names and versions of the peers built in, one per line, for --list.
std::string peer_versions();

}  // namespace vrax::bench
