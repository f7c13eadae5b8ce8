#pragma once

// Cuts a fuzzer's bytes into the values a target needs.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace norvale::fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return size_ > 0 ? (--size_, *data_++) : 0; }

    int32_t Number() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
        return static_cast<int32_t>(value);
    }

    // Text up to the next 0x01 byte (or the end).
    std::string Text() {
        const auto* end = static_cast<const uint8_t*>(std::memchr(data_, 1, size_));
        const size_t length = end != nullptr ? static_cast<size_t>(end - data_) : size_;
        std::string text(reinterpret_cast<const char*>(data_), length);
        const size_t taken = end != nullptr ? length + 1 : length;
        data_ += taken;
        size_ -= taken;
        return text;
    }

    std::string Rest() {
        std::string text(reinterpret_cast<const char*>(data_), size_);
        size_ = 0;
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

// A broken property ends the run, so the fuzzer keeps the input that broke it.
inline void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace norvale::fuzz
