#pragma once

#include <utility>

namespace norvale {

// Owns one platform resource and releases it with its kind's close function.
// Traits give the type, the "no resource" value, the validity test and the
// close function, so one template covers handles, keys, heap blocks, ...
template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    Type get() const { return value_; }
    explicit operator bool() const { return Traits::IsValid(value_); }

    // For out-parameters: releases what is held and exposes the slot.
    Type* put() {
        reset();
        return &value_;
    }

    Type release() { return std::exchange(value_, Traits::Invalid()); }

    void reset(Type value = Traits::Invalid()) {
        const Type old = std::exchange(value_, value);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

private:
    Type value_ = Traits::Invalid();
};

}  // namespace norvale
